#pragma once

#include "version.h"

#include <QByteArray>
#include <QString>

// The server's version document: the offered version and the website that
// describes it.
class HttpResponse
{
public:
    bool deserializeXml(const QByteArray &document);

    Version version() const;
    QString url() const;

private:
    Version m_version = Version(QStringLiteral("0.0.0"));
    QString m_url;
};
