#include "xmlrecordreader.h"

void XmlRecordReader::read(QXmlStreamReader &reader, const QString &closingName,
                           const StartElementHandler &onStartElement)
{
    while (!reader.atEnd() && !reader.hasError()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            onStartElement(reader.name().toString());
        else if (!closingName.isEmpty() && reader.name() == closingName)
            return;
    }
}
