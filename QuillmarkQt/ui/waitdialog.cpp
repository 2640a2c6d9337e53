#include "waitdialog.h"
#include "ui_waitdialog.h"

#include <QMovie>

WaitDialog::WaitDialog(QWidget *parent) : QDialog(parent), m_ui(std::make_unique<Ui::WaitDialog>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowTitleHint);
    auto *loader = new QMovie(QStringLiteral(":/Resources/Loader"), QByteArray(), this);
    m_ui->lblWaitGif->setMovie(loader);
    loader->start();
}

WaitDialog::~WaitDialog() = default;

void WaitDialog::setText(const QString &text)
{
    m_ui->lblWaitText->setText(text);
}
