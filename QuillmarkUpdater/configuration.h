#pragma once

#include "version.h"

#include <QString>

// The updater's own settings from "../etc/QuillmarkUpdater.conf": the
// installed version and where the version document and the package live.
class Configuration
{
public:
    static QString filePath();

    bool readConfig();
    bool deserialize(const QString &text);

    Version version() const;
    QString url() const;
    QString downloadUrl() const;

private:
    Version m_version = Version(QStringLiteral("0.0.0"));
    QString m_url;
    QString m_downloadUrl;
};
