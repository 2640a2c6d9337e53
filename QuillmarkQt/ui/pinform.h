#pragma once

#include "pkcs11slotinfo.h"
#include "pkcs11tokeninfo.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <memory>

namespace Ui {
class PinForm;
}

// The modal dialog that asks for a token's PIN. Opened only through needPin()
// on the GUI thread; worker threads reach it through PinFormLauncher.
class PinForm : public QDialog
{
    Q_OBJECT

public:
    PinForm(QWidget *parent, const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);
    ~PinForm() override;

    // The PIN typed, or a null string when the dialog was left any other way
    // than with OK.
    static QString needPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);
    // Rejects the dialog now shown, if any: the component is shutting down.
    static void terminate();

    void setInfo(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo);

signals:
    void afterShow();

public slots:
    void fixedSize();

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_btnOk_clicked();
    void on_btnCancel_clicked();

private:
    QString takePin();

    std::unique_ptr<Ui::PinForm> m_ui;
    QString m_pin;

    static std::atomic<PinForm *> s_current;
};
