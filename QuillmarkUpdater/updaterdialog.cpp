#include "updaterdialog.h"

#include "ui_updaterdialog.h"

#include <QMovie>
#include <QtDebug>

// The images are compiled into the static library, whose resource
// initialiser the linker would otherwise drop. (Outside any namespace: the
// macro declares the initialiser where it stands.)
static void initialiseImages()
{
    Q_INIT_RESOURCE(updater);
}

UpdaterDialog::UpdaterDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::UpdaterDialog>())
{
    initialiseImages();
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(tr("Updater"));
    ui->btnOK->setText(QObject::tr("Ok"));
    ui->btnCancel->setText(QObject::tr("Cancel"));
    auto *loader = new QMovie(QStringLiteral(":/Images/Loader"), QByteArray(), this);
    ui->lblLoader->setMovie(loader);
    loader->start();
    setStage(LookingForVersion);
}

UpdaterDialog::~UpdaterDialog() = default;

int UpdaterDialog::stage() const
{
    return m_stage;
}

void UpdaterDialog::setStage(int stage)
{
    m_stage = stage;
    const bool waiting = stage == LookingForVersion || stage == Downloading;
    ui->btnOK->setVisible(!waiting);
    ui->btnCancel->setVisible(waiting || stage == NewerVersionOffered);
    ui->lblLoader->setVisible(waiting);
    ui->lblText->setAlignment(waiting ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
    // Return answers with the button the stage offers first, not with one
    // that kept the focus from an earlier stage.
    (waiting ? ui->btnCancel : ui->btnOK)->setFocus();
}

void UpdaterDialog::setText(const QString &text)
{
    ui->lblText->setText(text);
}

void UpdaterDialog::setOkText(const QString &text)
{
    ui->btnOK->setText(text);
}

void UpdaterDialog::setCancelText(const QString &text)
{
    ui->btnCancel->setText(text);
}

void UpdaterDialog::showResult()
{
    showNormal();
    raise();
    activateWindow();
}

int UpdaterDialog::leavingExitCode(int stage)
{
    switch (stage) {
    case LookingForVersion:
        return 0;
    case NewerVersionOffered:
    case Downloading:
        return 2;
    case LatestVersionInstalled:
        return 3;
    default:
        return 1;
    }
}

void UpdaterDialog::on_btnOK_clicked()
{
    qDebug().noquote() << "Button OK was clicked with stage number: " + QString::number(m_stage);
    switch (m_stage) {
    case NewerVersionOffered:
        emit downloadNewVersion();
        break;
    case LatestVersionInstalled:
    case ErrorShown:
        emit exitRequested(leavingExitCode(m_stage));
        break;
    default:
        break;
    }
}

void UpdaterDialog::on_btnCancel_clicked()
{
    qDebug().noquote() << "Button cancel was clicked with stage number: "
                              + QString::number(m_stage);
    switch (m_stage) {
    case LookingForVersion:
    case NewerVersionOffered:
    case Downloading:
        emit exitRequested(leavingExitCode(m_stage));
        break;
    default:
        break;
    }
}

void UpdaterDialog::reject()
{
    // Escape and the window's close button. The window stays until the
    // program ends: hiding it would let the application quit with 0 as its
    // last window closed.
    qDebug().noquote() << "Window closed with stage number: " + QString::number(m_stage);
    emit exitRequested(leavingExitCode(m_stage));
}
