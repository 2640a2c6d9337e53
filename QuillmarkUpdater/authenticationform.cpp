#include "authenticationform.h"

#include "ui_authenticationform.h"

AuthenticationForm::AuthenticationForm(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AuthenticationForm>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

AuthenticationForm::~AuthenticationForm()
{
    m_password.fill(QChar(0));
}

QString AuthenticationForm::userName() const
{
    return m_userName;
}

QString AuthenticationForm::password() const
{
    return m_password;
}

void AuthenticationForm::on_btnOk_clicked()
{
    m_userName = ui->leUsername->text();
    m_password = ui->lePassword->text();
    accept();
}

void AuthenticationForm::on_btnCancel_clicked()
{
    reject();
}
