#pragma once

#include <QString>

class QXmlStreamReader;

// The outer envelope of a server answer: the signed data in Base64, or the
// server's own error.
class Response
{
public:
    // Base64 of the DER CMS SignedData.
    QString data;
    QString error;
    // Kept for the log; the nonce that counts is the one inside the signed record.
    QString nonce;
    bool showError = false;

    // Takes "Data", "Error", "Nonce" and "ShowError" wherever they occur; the
    // last occurrence wins. Stops at the first XML error.
    static Response fromXml(QXmlStreamReader &reader);
};
