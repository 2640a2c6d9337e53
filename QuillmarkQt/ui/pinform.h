#pragma once

#include "pkcs11slotinfo.h"
#include "pkcs11tokeninfo.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>

namespace Ui {
class PinForm;
}

// The application-modal dialog that asks for a token's PIN. Opened through
// open() on the GUI thread, which returns at once; worker threads reach it
// through PinFormLauncher.
class PinForm : public QDialog
{
    Q_OBJECT

public:
    PinForm(QWidget *parent, const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);
    ~PinForm() override;

    // Shows a new dialog over the active window; its finished() signal says
    // when takePin() has the answer.
    static PinForm *open(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);
    // The PIN typed, or a null string when the dialog was left any other way
    // than with OK.
    QString takePin();
    // Rejects the dialog now shown, if any: the component is shutting down.
    static void terminate();

    void setInfo(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);

signals:
    void afterShow();

public slots:
    void fixedSize();

    // Empties the PIN field on every way out.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_btnOk_clicked();
    void on_btnCancel_clicked();

private:
    void wipeField();

    std::unique_ptr<Ui::PinForm> m_ui;
    QString m_pin;

    static QPointer<PinForm> s_current;
};
