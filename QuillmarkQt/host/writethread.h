#pragma once

#include <QFile>
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
    explicit WriteThread(int descriptor = STDOUT_FILENO, QObject *parent = nullptr);

    // Any thread; returns at once.
    void write(const QJsonDocument &document);

    static QByteArray frame(const QJsonDocument &document);

protected:
    void run() override;

private:
    QList<QJsonDocument> takeQueued();
    void writeFrame(const QJsonDocument &document);

    QList<QJsonDocument> m_queue;
    QMutex m_mutex;
    QWaitCondition m_queued;
    QFile m_output;
};
