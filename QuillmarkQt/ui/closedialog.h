#pragma once

#include <QDialog>
#include <QPointer>

#include <memory>

namespace Ui {
class CloseDialog;
}

// The question asked when the signing window is closed before the document
// was signed. Once answered yes, it is not asked again in this process.
class CloseDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CloseDialog(QWidget *parent);
    ~CloseDialog() override;

    // True when the window may close.
    static bool askToClose(QWidget *parent);
    // Answers the open question with yes: the component is finishing.
    static void terminate();

    void setIsPositiveAndClose(bool positive);

private slots:
    void on_btnYes_clicked();
    void on_btnNo_clicked();

private:
    std::unique_ptr<Ui::CloseDialog> m_ui;

    static bool s_positiveAnswer;
    static QPointer<CloseDialog> s_currentDialog;
};
