#include "pinform.h"
#include "ui_pinform.h"

#include "pinbuffer.h"

#include <QApplication>
#include <QPointer>
#include <QShowEvent>

#include <utility>

QPointer<PinForm> PinForm::s_current;

PinForm::PinForm(QWidget *parent, const Pkcs11SlotInfo &slotInfo,
                 const Pkcs11TokenInfo &tokenInfo)
    : QDialog(parent), m_ui(std::make_unique<Ui::PinForm>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setInfo(slotInfo, tokenInfo);
}

PinForm::~PinForm()
{
    // Deleted with its parent window, the dialog is not closed first.
    wipeField();
    PinBuffer::wipe(m_pin);
}

void PinForm::wipeField()
{
    // The field lets go of its text on clear(), which leaves us its only
    // holder.
    QString typed = m_ui->lePin->text();
    m_ui->lePin->clear();
    PinBuffer::wipe(typed);
}

void PinForm::done(int result)
{
    // However the dialog closes, the field keeps no PIN; OK has taken its
    // copy already.
    wipeField();
    QDialog::done(result);
}

PinForm *PinForm::open(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo)
{
    qDebug("Need pin is called");
    // The parent window may go away while the dialog is open and take the
    // dialog with it.
    auto *form = new PinForm(QApplication::activeWindow(), slotInfo, tokenInfo);
    form->setWindowModality(Qt::ApplicationModal);
    s_current = form;
    form->show();
    return form;
}

void PinForm::terminate()
{
    if (s_current)
        s_current->reject();
}

void PinForm::setInfo(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo)
{
    qDebug("Setting up slot and token info");
    m_ui->lblText->setText(QObject::tr("PinFormInformation") + QStringLiteral("<br/><br/>")
                           + QObject::tr("PinFormTokenTitle").arg(tokenInfo.getModel().toHtmlEscaped())
                           + QStringLiteral("<br/>")
                           + QObject::tr("PinFormSlotTitle").arg(slotInfo.getDescription().toHtmlEscaped()));
    m_ui->lePin->setEchoMode(QLineEdit::Password);
    connect(m_ui->btnOk, &QPushButton::clicked, this, &QDialog::accept, Qt::UniqueConnection);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject, Qt::UniqueConnection);
    connect(this, &PinForm::afterShow, this, &PinForm::fixedSize, Qt::UniqueConnection);
}

void PinForm::fixedSize()
{
    setFixedSize(geometry().width(), geometry().height());
}

void PinForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    emit afterShow();
}

void PinForm::on_btnOk_clicked()
{
    qDebug("Button ok clicked");
    m_pin = m_ui->lePin->text();
}

void PinForm::on_btnCancel_clicked()
{
    qDebug("Button cancel clicked");
    m_pin = QString();
}

QString PinForm::takePin()
{
    return std::exchange(m_pin, QString());
}
