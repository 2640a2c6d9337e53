#pragma once

#include <QString>

// The outer XML of a server answer. Empty fields are left out, so the same
// writer makes normal answers, error answers and broken ones.
class ResponseEnvelope
{
public:
    QString data;
    QString error;
    QString nonce;
    // Written as given, e.g. "true" or " TRUE ".
    QString showError;

    QString toXml() const;
};
