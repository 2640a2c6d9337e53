#pragma once

#include "guithreadlauncher.h"
#include "msgbox.h"

#include <QDialog>
#include <QPointer>
#include <QString>

class AppException;

// Shows an error box on the GUI thread for code that runs on a pool thread,
// and blocks that code until the user has closed the box. The box has no
// parent: a window that goes away must not take the box, and with it the
// waiting caller's release, along.
class MsgBoxLauncher : public GuiThreadLauncher
{
    Q_OBJECT

public:
    MsgBoxLauncher();

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

protected:
    void dismissDialog() override;

private:
    MsgBox::Continuation releaseWhenClosed();

    QPointer<QDialog> m_box;
};
