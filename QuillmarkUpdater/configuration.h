#pragma once

#include "version.h"

#include <QString>

#include <optional>

// The updater's own settings from "../etc/QuillmarkUpdater.conf": the
// installed version, where the version document and the package live and,
// optionally, how long a transfer may go without progress. That file belongs
// to the package and every upgrade replaces it, so an administrator sets the
// addresses (and the timeout) in the system file instead, which dpkg keeps
// across upgrades; its settings take the place of the package's.
class Configuration
{
public:
    // Seconds a transfer may go with too little progress; Qt's own default
    // transfer timeout. The administrator may set 1 to 600.
    static constexpr int defaultTransferTimeout = 30;
    static constexpr int maximumTransferTimeout = 600;

    static QString filePath();
    static QString systemFilePath();

    explicit Configuration(const QString &systemFile = systemFilePath());

    bool readConfig();
    bool deserialize(const QString &text);

    Version version() const;
    QString url() const;
    QString downloadUrl() const;
    int transferTimeout() const;

private:
    static std::optional<QString> readText(const QString &path);
    bool applySystemSettings();

    QString m_systemFile;
    Version m_version = Version(QStringLiteral("0.0.0"));
    QString m_url;
    QString m_downloadUrl;
    int m_transferTimeout = defaultTransferTimeout;
};
