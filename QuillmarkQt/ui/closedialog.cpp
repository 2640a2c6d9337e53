#include "closedialog.h"
#include "ui_closedialog.h"

#include "closingflag.h"

#include <QtDebug>

bool CloseDialog::s_positiveAnswer = false;
QPointer<CloseDialog> CloseDialog::s_currentDialog;

CloseDialog::CloseDialog(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CloseDialog>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

CloseDialog::~CloseDialog() = default;

bool CloseDialog::askToClose(QWidget *parent)
{
    qDebug() << "CloseDialog asking";
    if (ClosingFlag::isRaised() || s_positiveAnswer)
        return true;

    qDebug() << "CloseDialog creating";
    QPointer<CloseDialog> dialog = new CloseDialog(parent);
    s_currentDialog = dialog;
    dialog->m_ui->lblQuestion->setText(QObject::tr("CloseUnsigned"));
    dialog->m_ui->btnYes->setText(QObject::tr("AnswerYes"));
    dialog->m_ui->btnNo->setText(QObject::tr("AnswerNo"));
    dialog->exec();
    delete dialog.data();
    s_currentDialog = nullptr;
    return s_positiveAnswer;
}

void CloseDialog::terminate()
{
    qDebug() << "CloseDialog Terminating";
    if (s_currentDialog)
        s_currentDialog->setIsPositiveAndClose(true);
}

void CloseDialog::setIsPositiveAndClose(bool positive)
{
    qDebug() << "CloseDialog " << (positive ? "positive" : "negative") << " closing";
    s_positiveAnswer = positive;
    close();
}

void CloseDialog::on_btnYes_clicked()
{
    setIsPositiveAndClose(true);
}

void CloseDialog::on_btnNo_clicked()
{
    setIsPositiveAndClose(false);
}
