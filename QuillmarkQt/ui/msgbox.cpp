#include "msgbox.h"
#include "ui_msgbox.h"

#include "appexception.h"
#include "closingflag.h"

#include <QCloseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QtDebug>

#include <utility>

QPointer<MsgBox> MsgBox::s_currentMsgBox;
QQueue<MsgBox::Request> MsgBox::s_waiting;

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
    logClosing();
    QDialog::closeEvent(event);
    hide();
    deleteLater();
}

void MsgBox::endFinished()
{
    logClosing();
    hide();
    deleteLater();
}

void MsgBox::logClosing()
{
    if (!std::exchange(m_closingLogged, true))
        qDebug() << "Closing MsgBox";
}

MsgBox *MsgBox::present(Request request)
{
    if (ClosingFlag::isRaised() || request.windowGone()) {
        finish(request);
        return nullptr;
    }
    if (!s_currentMsgBox)
        return open(std::move(request));
    if (s_waiting.size() >= maxWaitingBoxes) {
        qWarning() << "Too many boxes waiting; not shown:" << request.message;
        finish(request);
        return nullptr;
    }
    s_waiting.enqueue(std::move(request));
    return nullptr;
}

MsgBox *MsgBox::open(Request request)
{
    auto *box = new MsgBox(request.parent, request.message, request.caption, request.isError,
                           request.detailsAvailable);
    if (request.detailsAvailable)
        box->m_ui->teDetails->setPlainText(request.details);
    box->setWindowModality(Qt::ApplicationModal);
    s_currentMsgBox = box;
    // Rejected from outside, deleted with its parent or closed by the
    // person: each way the box ends once, in its destructor.
    auto shared = std::make_shared<Request>(std::move(request));
    connect(box, &QDialog::finished, box, &MsgBox::endFinished);
    connect(box, &QObject::destroyed, [shared]() {
        // The box is the current one and already torn down to a QWidget
        // here, so it is let go without being looked at as a MsgBox.
        s_currentMsgBox.clear();
        finish(*shared);
        openNext();
    });
    box->show();
    return box;
}

void MsgBox::finish(Request &request)
{
    const Continuation then = std::exchange(request.then, Continuation());
    // The answer goes out after what the box's call set off, as if the box
    // had been closed inside the call.
    const PendingAnswer::Hold answerHold = std::move(request.answerHold);
    if (then && !request.windowGone())
        PendingAnswer::resume(answerHold, then);
}

bool MsgBox::Request::windowGone() const
{
    return hasParent && (!parent || !parent->window()->isVisible());
}

void MsgBox::openNext()
{
    // Boxes whose window has gone meanwhile are let go one after another
    // until one opens.
    while (!s_currentMsgBox && !s_waiting.isEmpty())
        present(s_waiting.dequeue());
}

MsgBox *MsgBox::current()
{
    return s_currentMsgBox;
}

MsgBox *MsgBox::showInfo(QWidget *parent, const QString &caption, const QString &message,
                      Continuation then)
{
    qDebug() << "Showing MsgInfo: " << message;
    return present({parent, parent != nullptr, caption, message, QString(), false, false,
             std::move(then), PendingAnswer::hold()});
}

MsgBox *MsgBox::showError(QWidget *parent, const QString &caption, const QString &message,
                       Continuation then)
{
    qDebug() << "Showing error with message: " << message;
    return present({parent, parent != nullptr, caption, message, QString(), true, false,
             std::move(then), PendingAnswer::hold()});
}

MsgBox *MsgBox::showErrorWithDetail(QWidget *parent, const QString &caption,
                                 const QString &message, const QString &details,
                                 Continuation then)
{
    qDebug() << "Showing error with hidden message: " << details;
    return present({parent, parent != nullptr, caption, message, details, true, true, std::move(then),
             PendingAnswer::hold()});
}

MsgBox *MsgBox::showError(QWidget *parent, const QString &caption, const AppException &e,
                       Continuation then)
{
    qDebug() << "Show AppException";
    if (showsMessageAlone(e))
        return showError(parent, caption, e.message(), std::move(then));
    return showErrorWithDetail(parent, caption, QObject::tr("GeneralExceptionMessage"),
                               e.toString(true), std::move(then));
}

bool MsgBox::showsMessageAlone(const AppException &e)
{
    return e.isUserMessage() && !e.message().isEmpty();
}

void MsgBox::terminate()
{
    QQueue<Request> dropped;
    dropped.swap(s_waiting);
    for (Request &request : dropped)
        finish(request);
    if (s_currentMsgBox)
        s_currentMsgBox->reject();
}
