#include "quillmarkdocumentreader.h"

#include <QXmlStreamReader>

QHash<QString, QString> QuillmarkDocumentReader::read(QXmlStreamReader &reader,
                                                      const QStringList &wantedElements)
{
    QHash<QString, QString> texts;
    while (!reader.atEnd() && !reader.hasError()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QString name = reader.name().toString();
            if (wantedElements.contains(name))
                texts.insert(name, reader.readElementText().trimmed());
        } else if (reader.name() == QLatin1String("Quillmark")) {
            break;
        }
    }
    return texts;
}
