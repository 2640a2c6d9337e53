#include "answerrecord.h"

#include <QXmlStreamReader>

bool AnswerRecord::readSharedField(QXmlStreamReader &reader, const QString &name)
{
    if (name == QLatin1String("Nonce"))
        nonce = reader.readElementText();
    else if (name == QLatin1String("SessionId"))
        sessionId = reader.readElementText();
    else if (name == QLatin1String("ProvingData"))
        provingData = ProvingData::listFromXml(reader);
    else
        return false;
    return true;
}
