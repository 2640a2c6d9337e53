#pragma once

#include "version.h"

#include <QString>

// The updater's own settings from "../etc/QuillmarkUpdater.conf": the
// installed version, where the version document and the package live and,
// optionally, how long a transfer may go without progress.
class Configuration
{
public:
    // Seconds a transfer may go with too little progress; Qt's own default
    // transfer timeout. The administrator may set 1 to 600.
    static constexpr int defaultTransferTimeout = 30;
    static constexpr int maximumTransferTimeout = 600;

    static QString filePath();

    bool readConfig();
    bool deserialize(const QString &text);

    Version version() const;
    QString url() const;
    QString downloadUrl() const;
    int transferTimeout() const;

private:
    Version m_version = Version(QStringLiteral("0.0.0"));
    QString m_url;
    QString m_downloadUrl;
    int m_transferTimeout = defaultTransferTimeout;
};
