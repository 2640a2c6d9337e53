#pragma once

#include <QList>
#include <QString>

class QXmlStreamReader;

// Binds a server answer to a document. Only ever compared, never interpreted.
class ProvingData
{
public:
    QString docId;
    QString hashOid;
    QString hashValue;

    bool operator==(const ProvingData &other) const;
    bool operator!=(const ProvingData &other) const;

    // One "ProvingData" item.
    static ProvingData fromXml(QXmlStreamReader &reader);
    // The "ProvingData" container: only "ProvingData" children count as items.
    static QList<ProvingData> listFromXml(QXmlStreamReader &reader);
};
