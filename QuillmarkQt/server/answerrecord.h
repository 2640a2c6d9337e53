#pragma once

#include "provingdata.h"

#include <QList>
#include <QString>

class QXmlStreamReader;

// The fields that open every server answer record.
class AnswerRecord
{
public:
    // Repeats the nonce of the request.
    QString nonce;
    // Fixed by the document-information answer, repeated by every later one.
    QString sessionId;
    QList<ProvingData> provingData;

protected:
    // Reads the element when it is one of the shared fields; false otherwise.
    bool readSharedField(QXmlStreamReader &reader, const QString &name);
};
