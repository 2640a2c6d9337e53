#pragma once

#include <QApplication>
#include <QJsonObject>
#include <QString>

class ReadThread;
class WriteThread;

// The application object of quillmark: owns the reader and writer threads of
// the native-messaging channel and handles every message on the GUI thread.
class NativeMessagingHost : public QApplication
{
    Q_OBJECT

public:
    NativeMessagingHost(int &argc, char **argv, const QString &componentVersion,
                        const QString &platform);
    ~NativeMessagingHost() override;

public slots:
    void processMessage(const QJsonObject &incoming);

private:
    ReadThread *m_readThread;
    WriteThread *m_writeThread;
    QString m_componentVersion;
    QString m_platform;
};
