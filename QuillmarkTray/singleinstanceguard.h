#pragma once

#include <QSharedMemory>
#include <QString>
#include <QSystemSemaphore>

// Keeps a second copy of a program from running for the same user: the
// running instance owns a small shared-memory segment, and a system semaphore
// serialises every look at that segment between processes.
class SingleInstanceGuard
{
public:
    // The keys are derived from keyText and the user's id, so that each
    // user of the machine has an instance of their own.
    explicit SingleInstanceGuard(const QString &keyText);
    ~SingleInstanceGuard();

    // keyText + "_" + the real user id.
    static QString userKeyText(const QString &keyText);
    // Lower-case hexadecimal SHA-1 of the UTF-8 bytes of keyText + salt.
    static QString derivedKey(const QString &keyText, const QString &salt);

    bool isAnotherRunning();
    bool tryToRun();
    void release();

private:
    const QString m_memoryKey;
    const QString m_lockKey;
    QSharedMemory m_sharedMemory;
    QSystemSemaphore m_memoryLock;

    Q_DISABLE_COPY(SingleInstanceGuard)
};
