#pragma once

#include <QString>
#include <QXmlStreamReader>

#include <functional>

// The pull loop shared by the readers of server records: every start element
// is offered to the record, known or not, at any depth (unknown subtrees are
// walked, not skipped), and reading stops at the end of the record's element,
// at the end of the stream or at the first error.
class XmlRecordReader
{
public:
    using StartElementHandler = std::function<void(const QString &name)>;

    // An empty closingName reads to the end of the document.
    static void read(QXmlStreamReader &reader, const QString &closingName,
                     const StartElementHandler &onStartElement);
};
