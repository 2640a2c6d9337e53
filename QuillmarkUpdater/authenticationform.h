#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class AuthenticationForm;
}

// Asks for the proxy's user name and password.
class AuthenticationForm : public QDialog
{
    Q_OBJECT

public:
    explicit AuthenticationForm(QWidget *parent = nullptr);
    ~AuthenticationForm() override;

    QString userName() const;
    QString password() const;

private slots:
    void on_btnOk_clicked();
    void on_btnCancel_clicked();

private:
    std::unique_ptr<Ui::AuthenticationForm> ui;
    QString m_userName;
    QString m_password;
};
