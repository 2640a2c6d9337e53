#pragma once

#include "pendinganswer.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>

namespace Ui {
class CloseDialog;
}

// The question asked when the signing window is closed before the document
// was signed. It opens application-modal and returns at once; the answer
// reaches the asking window through a continuation.
class CloseDialog : public QDialog
{
    Q_OBJECT

public:
    using Answered = std::function<void(bool mayClose)>;

    explicit CloseDialog(QWidget *parent);
    ~CloseDialog() override;

    // answered runs with true when the window may close, at once while the
    // component is finishing, and never once the parent is gone.
    static void askToClose(QWidget *parent, Answered answered);
    // Answers the open question with yes: the component is finishing.
    static void terminate();

    void setIsPositiveAndClose(bool positive);

protected:
    void showEvent(QShowEvent *event) override;

private slots:
    void on_btnYes_clicked();
    void on_btnNo_clicked();

private:
    std::unique_ptr<Ui::CloseDialog> m_ui;
    Answered m_answered;
    // The answer of the page call that asked, sent once the answer's
    // continuation has run.
    PendingAnswer::Hold m_answerHold;

    static QPointer<CloseDialog> s_currentDialog;
};
