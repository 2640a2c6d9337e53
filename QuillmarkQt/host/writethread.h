#pragma once

#include <QJsonDocument>
#include <QList>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <unistd.h>

// Owns the queue of outgoing JSON documents and writes each as one frame
// (32-bit little-endian length + compact UTF-8 JSON) to a descriptor.
class WriteThread : public QThread
{
    Q_OBJECT

public:
    // A browser drops the whole channel when a host sends a larger message,
    // so a payload beyond this is not written: one answer is lost, not all.
    static constexpr int maxPayloadLength = 1024 * 1024;

    explicit WriteThread(int descriptor = STDOUT_FILENO, QObject *parent = nullptr);

    // Any thread; returns at once.
    void write(const QJsonDocument &document);

    static QByteArray frame(const QJsonDocument &document);

protected:
    void run() override;

private:
    QList<QJsonDocument> takeQueued();
    bool writeFrame(const QJsonDocument &document);
    bool writeAll(const QByteArray &bytes);
    bool serveQueue();

    QList<QJsonDocument> m_queue;
    QMutex m_mutex;
    QWaitCondition m_queued;
    const int m_descriptor;
};
