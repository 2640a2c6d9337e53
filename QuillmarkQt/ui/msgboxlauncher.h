#pragma once

#include "guithreadlauncher.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class AppException;

// Shows an error box on the GUI thread for code that runs on a pool thread,
// and blocks that code until the user has closed the box.
class MsgBoxLauncher : public GuiThreadLauncher
{
    Q_OBJECT

public:
    explicit MsgBoxLauncher(QWidget *parent);

    void showError(const QString &caption, const QString &message);
    void showErrorWithDetails(const QString &caption, const QString &message,
                              const QString &details);
    void showError(const QString &caption, const AppException &e);

signals:
    void launchErrorSignal(const QString &caption, const QString &message);
    void launchErrorWithDetailsSignal(const QString &caption, const QString &message,
                                      const QString &details);

private slots:
    void launchError(const QString &caption, const QString &message);
    void launchErrorWithDetails(const QString &caption, const QString &message,
                                const QString &details);

private:
    // The parent window may be deleted while a request is queued.
    QPointer<QWidget> m_parent;
};
