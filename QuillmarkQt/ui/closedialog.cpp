#include "closedialog.h"
#include "ui_closedialog.h"

#include "closingflag.h"

#include <QtDebug>

#include <utility>

QPointer<CloseDialog> CloseDialog::s_currentDialog;

CloseDialog::CloseDialog(QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CloseDialog>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

CloseDialog::~CloseDialog() = default;

void CloseDialog::showEvent(QShowEvent *event)
{
    // The question wraps; under a large font its lines need more height than
    // the designed size gives, and a window does not grow for them by itself.
    const int needed = heightForWidth(width());
    if (needed > height())
        resize(width(), needed);
    QDialog::showEvent(event);
}

void CloseDialog::askToClose(QWidget *parent, Answered answered)
{
    qDebug() << "CloseDialog asking";
    if (ClosingFlag::isRaised()) {
        answered(true);
        return;
    }
    // One question at a time: a second close request waits for its answer.
    if (s_currentDialog)
        return;

    qDebug() << "CloseDialog creating";
    auto *dialog = new CloseDialog(parent);
    dialog->m_answered = std::move(answered);
    // A call whose failure asked the question is answered after the person has.
    dialog->m_answerHold = PendingAnswer::hold();
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    s_currentDialog = dialog;
    dialog->m_ui->lblQuestion->setText(QObject::tr("CloseUnsigned"));
    dialog->m_ui->btnYes->setText(QObject::tr("AnswerYes"));
    dialog->m_ui->btnNo->setText(QObject::tr("AnswerNo"));
    // Escape and the window's close button answer no.
    connect(dialog, &QDialog::rejected, dialog, [dialog] { dialog->setIsPositiveAndClose(false); });
    dialog->show();
}

void CloseDialog::terminate()
{
    qDebug() << "CloseDialog Terminating";
    if (s_currentDialog)
        s_currentDialog->setIsPositiveAndClose(true);
}

void CloseDialog::setIsPositiveAndClose(bool positive)
{
    // Answered once: closing the dialog rejects it once more, and the window
    // may be closed again from the continuation.
    if (!m_answered)
        return;
    qDebug() << "CloseDialog " << (positive ? "positive" : "negative") << " closing";
    const Answered answered = std::exchange(m_answered, Answered());
    const PendingAnswer::Hold answerHold = std::move(m_answerHold);
    close();
    answered(positive);
}

void CloseDialog::on_btnYes_clicked()
{
    setIsPositiveAndClose(true);
}

void CloseDialog::on_btnNo_clicked()
{
    setIsPositiveAndClose(false);
}
