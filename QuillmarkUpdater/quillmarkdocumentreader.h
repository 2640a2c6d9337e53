#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class QXmlStreamReader;

// Reads the small "Quillmark" documents of the updater (its configuration
// file and the server's version document): the trimmed text of each wanted
// element, up to the end of the "Quillmark" element. Unknown elements are
// skipped; a reader error ends the reading with what was found so far.
class QuillmarkDocumentReader
{
public:
    static QHash<QString, QString> read(QXmlStreamReader &reader, const QStringList &wantedElements);
};
