#include "responseenvelope.h"

#include <QXmlStreamWriter>

QString ResponseEnvelope::toXml() const
{
    QString xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("Response"));
    const auto writeIfSet = [&writer](const QString &name, const QString &value) {
        if (!value.isEmpty())
            writer.writeTextElement(name, value);
    };
    writeIfSet(QStringLiteral("Data"), data);
    writeIfSet(QStringLiteral("Error"), error);
    writeIfSet(QStringLiteral("Nonce"), nonce);
    writeIfSet(QStringLiteral("ShowError"), showError);
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}
