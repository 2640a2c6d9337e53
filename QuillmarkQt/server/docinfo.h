#pragma once

#include <QString>

class QXmlStreamReader;

// General facts about the document, from the document-information answer.
class DocInfo
{
public:
    bool usableForZep = false;
    // Non-empty once the document information has arrived.
    QString contentType;
    int pages = 0;

    static DocInfo fromXml(QXmlStreamReader &reader);
};
