#include "nativemessaginghost.h"

#include "appexception.h"
#include "msgbox.h"
#include "pagedispatcher.h"
#include "readthread.h"
#include "writethread.h"

#include <QException>
#include <QtDebug>

namespace {

constexpr unsigned long threadStopMilliseconds = 100;

// Destroying a QThread that still runs aborts the process. A thread that has
// not stopped in its time (the writer blocked on a browser that no longer
// reads) is left to end with the process instead.
void deleteIfStopped(QThread *thread)
{
    if (!thread->isRunning()) {
        delete thread;
        return;
    }
    qWarning() << "Thread" << thread->metaObject()->className() << "did not stop in time";
}

} // namespace

NativeMessagingHost::NativeMessagingHost(int &argc, char **argv, const QString &componentVersion,
                                         const QString &platform, int inputDescriptor,
                                         int outputDescriptor)
    : QApplication(argc, argv), m_readThread(new ReadThread(inputDescriptor)),
      m_writeThread(new WriteThread(outputDescriptor)),
      m_dispatcher(std::make_unique<PageDispatcher>(
          componentVersion, platform,
          [writer = m_writeThread](const QJsonDocument &document) { writer->write(document); }))
{
    connect(m_readThread, &ReadThread::messageRead, m_dispatcher.get(), &PageDispatcher::dispatch);
    m_readThread->start(QThread::InheritPriority);
    m_writeThread->start(QThread::InheritPriority);
}

NativeMessagingHost::~NativeMessagingHost()
{
    qDebug() << "Destroying NativeMessagingHost";
    m_readThread->requestInterruption();
    m_writeThread->requestInterruption();
    qDebug() << "Waiting for threads to close";
    m_readThread->wait(threadStopMilliseconds);
    m_writeThread->wait(threadStopMilliseconds);
    qDebug() << "Cleaning pointers";
    m_dispatcher.reset();
    deleteIfStopped(m_readThread);
    deleteIfStopped(m_writeThread);
    qDebug() << "Quitting application...";
}

PageDispatcher &NativeMessagingHost::dispatcher() const
{
    return *m_dispatcher;
}

bool NativeMessagingHost::isFormVisible() const
{
    return m_dispatcher && m_dispatcher->isFormVisible();
}

bool NativeMessagingHost::notify(QObject *receiver, QEvent *event)
{
    // The last guard: page calls are answered and their failures reported
    // by the dispatcher; this catches what other event handlers let out.
    try {
        return QApplication::notify(receiver, event);
    } catch (const AppException &e) {
        PageDispatcher::reportFailure(e, isFormVisible());
    } catch (const QUnhandledException &e) {
        qWarning() << e.what();
        if (isFormVisible()) {
            MsgBox::showErrorWithDetail(activeWindow(), QObject::tr("AppName"),
                                        QObject::tr("GeneralExceptionMessage"),
                                        QString::fromLocal8Bit(e.what()));
        }
    } catch (...) {
        qCritical() << "Unknown exception.";
    }
    return true;
}
