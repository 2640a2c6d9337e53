#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class UpdaterDialog;
}

// The graphical updater's one window. Its stage decides which buttons and
// the loader are shown and what the buttons do.
class UpdaterDialog : public QDialog
{
    Q_OBJECT

public:
    enum Stage {
        LookingForVersion = 1,
        NewerVersionOffered = 2,
        LatestVersionInstalled = 3,
        Downloading = 4,
        ErrorShown = 5,
    };

    explicit UpdaterDialog(QWidget *parent = nullptr);
    ~UpdaterDialog() override;

    int stage() const;
    void setStage(int stage);
    void setText(const QString &text);
    void setOkText(const QString &text);
    void setCancelText(const QString &text);
    // Show normal, raise, activate: a result always comes to the front.
    void showResult();
    // Escape and the close button leave the stage as Cancel does where the
    // stage has Cancel, and as OK does where it has only OK.
    void reject() override;

    // The exit code of leaving stage: 0 while looking, 2 on the offer and
    // during the download, 3 on the latest version, 1 on an error.
    static int leavingExitCode(int stage);

signals:
    void downloadNewVersion();
    void exitRequested(int exitCode);

private slots:
    void on_btnOK_clicked();
    void on_btnCancel_clicked();

private:
    std::unique_ptr<Ui::UpdaterDialog> ui;
    int m_stage = LookingForVersion;
};
