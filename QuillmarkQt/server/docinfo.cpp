#include "docinfo.h"

#include "xmlrecordreader.h"

DocInfo DocInfo::fromXml(QXmlStreamReader &reader)
{
    DocInfo info;
    XmlRecordReader::read(reader, QStringLiteral("DocInfo"), [&](const QString &name) {
        if (name == QLatin1String("UsableForZep"))
            info.usableForZep = reader.readElementText() == QLatin1String("true");
        else if (name == QLatin1String("ContentType"))
            info.contentType = reader.readElementText();
        else if (name == QLatin1String("Pages"))
            info.pages = reader.readElementText().toInt();
    });
    return info;
}
