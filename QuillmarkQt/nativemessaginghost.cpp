#include "nativemessaginghost.h"

#include "readthread.h"
#include "writethread.h"

#include <QJsonDocument>
#include <QtDebug>

namespace {

constexpr unsigned long threadStopMilliseconds = 100;

} // namespace

NativeMessagingHost::NativeMessagingHost(int &argc, char **argv,
                                         const QString &componentVersion,
                                         const QString &platform)
    : QApplication(argc, argv),
      m_readThread(new ReadThread),
      m_writeThread(new WriteThread),
      m_componentVersion(componentVersion)
{
    Q_UNUSED(platform);
    connect(m_readThread, &ReadThread::processMessage, this,
            &NativeMessagingHost::processMessage);
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
    delete m_readThread;
    delete m_writeThread;
    qDebug() << "Quitting application...";
}

void NativeMessagingHost::processMessage(const QJsonObject &incoming)
{
    qDebug() << "Received message"
             << QJsonDocument(incoming).toJson(QJsonDocument::Compact);
}
