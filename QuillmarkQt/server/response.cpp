#include "response.h"

#include "xmlrecordreader.h"

Response Response::fromXml(QXmlStreamReader &reader)
{
    Response response;
    XmlRecordReader::read(reader, QString(), [&](const QString &name) {
        if (name == QLatin1String("Data"))
            response.data = reader.readElementText();
        else if (name == QLatin1String("Error"))
            response.error = reader.readElementText();
        else if (name == QLatin1String("Nonce"))
            response.nonce = reader.readElementText();
        else if (name == QLatin1String("ShowError"))
            response.showError =
                reader.readElementText().trimmed().toLower() == QLatin1String("true");
    });
    return response;
}
