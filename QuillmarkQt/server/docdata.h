#pragma once

#include <QByteArray>
#include <QString>

class QXmlStreamReader;

// One document part: a page image (Base64 in data) or a part of the signed
// document.
class DocData
{
public:
    QString docId;
    QString name;
    QByteArray data;

    // closingName is the element that holds the part: "Page", "Document" or
    // "ExternalSignature".
    static DocData fromXml(QXmlStreamReader &reader, const QString &closingName);
};
