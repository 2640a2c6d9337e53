#include "msgbox.h"
#include "ui_msgbox.h"

#include "appexception.h"
#include "closingflag.h"

#include <QCloseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QtDebug>

QPointer<MsgBox> MsgBox::s_currentMsgBox;

MsgBox::MsgBox(QWidget *parent, const QString &message, const QString &caption, bool isError,
               bool detailsAvailable)
    : QDialog(parent), m_ui(std::make_unique<Ui::MsgBox>())
{
    m_ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_ui->lblInfo->setText(message);
    setWindowTitle(caption);
    m_ui->lblImage->setPixmap(QPixmap(isError ? QStringLiteral(":/Resources/Error")
                                            : QStringLiteral(":/Resources/Info")));
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setDetailsAvailable(detailsAvailable);
    setDetailsVisible(false);
}

MsgBox::~MsgBox() = default;

QAbstractButton *MsgBox::detailsButton() const
{
    return m_ui->buttonBox->button(QDialogButtonBox::Help);
}

void MsgBox::setDetailsAvailable(bool available)
{
    qDebug() << "Setting details " << (available ? "available" : "unavailable");
    m_detailsAvailable = available;
    detailsButton()->setVisible(available);
}

void MsgBox::setDetailsVisible(bool visible)
{
    qDebug() << "Setting details " << (visible ? "visible" : "hidden");
    m_detailsVisible = visible;
    // Before the first show the layout has not placed the pane yet, and its
    // height would not be the one the box gives it.
    layout()->activate();
    const int paneHeight = m_ui->teDetails->height();
    m_ui->teDetails->setVisible(visible);
    detailsButton()->setText(visible ? QObject::tr("MsgBoxDetailsHide")
                                     : QObject::tr("MsgBoxDetailsShow"));
    setFixedHeight(visible ? height() + paneHeight : height() - paneHeight);
}

void MsgBox::on_buttonBox_clicked(QAbstractButton *button)
{
    if (button == m_ui->buttonBox->button(QDialogButtonBox::Ok))
        close();
    else
        setDetailsVisible(!m_detailsVisible);
}

void MsgBox::closeEvent(QCloseEvent *event)
{
    qDebug() << "Closing MsgBox";
    QDialog::closeEvent(event);
    hide();
    deleteLater();
}

void MsgBox::runModal(MsgBox *box)
{
    // A box opened from inside another one takes over; the outer one is the
    // current box again once the inner one is gone.
    const QPointer<MsgBox> previous = s_currentMsgBox;
    QPointer<MsgBox> guarded = box;
    s_currentMsgBox = guarded;
    box->exec();
    delete guarded.data();
    s_currentMsgBox = previous;
}

void MsgBox::showInfo(QWidget *parent, const QString &caption, const QString &message)
{
    qDebug() << "Showing MsgInfo: " << message;
    if (ClosingFlag::isRaised())
        return;
    runModal(new MsgBox(parent, message, caption, false, false));
}

void MsgBox::showError(QWidget *parent, const QString &caption, const QString &message)
{
    qDebug() << "Showing error with message: " << message;
    if (ClosingFlag::isRaised())
        return;
    runModal(new MsgBox(parent, message, caption, true, false));
}

void MsgBox::showErrorWithDetail(QWidget *parent, const QString &caption,
                                 const QString &message, const QString &details)
{
    qDebug() << "Showing error with hidden message: " << details;
    if (ClosingFlag::isRaised())
        return;
    auto *box = new MsgBox(parent, message, caption, true, true);
    box->m_ui->teDetails->setPlainText(details);
    runModal(box);
}

void MsgBox::showError(QWidget *parent, const QString &caption, const AppException &e)
{
    qDebug() << "Show AppException";
    if (showsMessageAlone(e))
        showError(parent, caption, e.message());
    else
        showErrorWithDetail(parent, caption, QObject::tr("GeneralExceptionMessage"),
                            e.toString(true));
}

bool MsgBox::showsMessageAlone(const AppException &e)
{
    return e.isUserMessage() && !e.message().isEmpty();
}

void MsgBox::terminate()
{
    if (s_currentMsgBox)
        s_currentMsgBox->reject();
}
