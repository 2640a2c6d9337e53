#include "docdata.h"

#include "xmlrecordreader.h"

DocData DocData::fromXml(QXmlStreamReader &reader, const QString &closingName)
{
    DocData part;
    XmlRecordReader::read(reader, closingName, [&](const QString &element) {
        if (element == QLatin1String("DocId"))
            part.docId = reader.readElementText();
        else if (element == QLatin1String("Name"))
            part.name = reader.readElementText();
        else if (element == QLatin1String("Data"))
            part.data = reader.readElementText().toLocal8Bit();
    });
    return part;
}
