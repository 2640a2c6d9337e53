#pragma once

#include "updater.h"

#include <memory>

class UpdaterDialog;

// The graphical front end: one dialog that walks from looking for a version
// through the offer and the download to the desktop installer.
class GuiUpdater : public Updater
{
    Q_OBJECT

public:
    static constexpr const char *defaultInstallerScript = "/opt/varnek/quillmark/bin/gdebi-gtk.sh";

    explicit GuiUpdater(QObject *parent = nullptr);
    ~GuiUpdater() override;

    UpdaterDialog *dialog() const;
    void setInstallerScript(const QString &path);

public slots:
    void downloadNewVersion();
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) override;
    void authentication(const QNetworkProxy &proxy, QAuthenticator *auth) override;

protected:
    void newerVesion(const QString &version, const QString &url) override;
    void actualVersion() override;
    void errorOccured(const QString &message) override;
    void install() override;

private:
    void showStage(int stage, const QString &text);

    std::unique_ptr<UpdaterDialog> m_dialog;
    QString m_installerScript = QLatin1String(defaultInstallerScript);
};
