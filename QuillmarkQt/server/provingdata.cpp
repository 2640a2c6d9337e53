#include "provingdata.h"

#include "xmlrecordreader.h"

namespace {

const QString elementName = QStringLiteral("ProvingData");

} // namespace

bool ProvingData::operator==(const ProvingData &other) const
{
    return docId == other.docId && hashOid == other.hashOid && hashValue == other.hashValue;
}

bool ProvingData::operator!=(const ProvingData &other) const
{
    return !(*this == other);
}

ProvingData ProvingData::fromXml(QXmlStreamReader &reader)
{
    ProvingData item;
    XmlRecordReader::read(reader, elementName, [&](const QString &name) {
        if (name == QLatin1String("DocId"))
            item.docId = reader.readElementText();
        else if (name == QLatin1String("HashOid"))
            item.hashOid = reader.readElementText();
        else if (name == QLatin1String("HashValue"))
            item.hashValue = reader.readElementText();
    });
    return item;
}

QList<ProvingData> ProvingData::listFromXml(QXmlStreamReader &reader)
{
    QList<ProvingData> items;
    XmlRecordReader::read(reader, elementName, [&](const QString &name) {
        if (name == elementName)
            items.append(fromXml(reader));
    });
    return items;
}
