#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class WaitDialog;
}

// The frameless panel with the animated loader shown while the page is asked
// for something.
class WaitDialog : public QDialog
{
    Q_OBJECT

public:
    explicit WaitDialog(QWidget *parent);
    ~WaitDialog() override;

    void setText(const QString &text);

private:
    std::unique_ptr<Ui::WaitDialog> m_ui;
};
