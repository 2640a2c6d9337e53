#pragma once

#include <QApplication>
#include <QString>

#include <memory>

#include <unistd.h>

class PageDispatcher;
class ReadThread;
class WriteThread;

// The application object of quillmark: owns the reader and writer threads of
// the native-messaging channel and the dispatcher between them, quits when
// the channel ends, and is the last guard against an exception that an event
// handler lets out.
class NativeMessagingHost : public QApplication
{
    Q_OBJECT

public:
    NativeMessagingHost(int &argc, char **argv, const QString &componentVersion,
                        const QString &platform, int inputDescriptor = STDIN_FILENO,
                        int outputDescriptor = STDOUT_FILENO);
    ~NativeMessagingHost() override;

    bool notify(QObject *receiver, QEvent *event) override;

    PageDispatcher &dispatcher() const;

private:
    bool isFormVisible() const;

    ReadThread *m_readThread;
    WriteThread *m_writeThread;
    std::unique_ptr<PageDispatcher> m_dispatcher;
};
