#include "singleinstanceguard.h"

#include <QCryptographicHash>

#include <unistd.h>

namespace {

constexpr int segmentSize = 8;

// Holds the semaphore for one scope, also when that scope is left early.
class SemaphoreLocker
{
public:
    explicit SemaphoreLocker(QSystemSemaphore &semaphore) : m_semaphore(semaphore)
    {
        m_semaphore.acquire();
    }
    ~SemaphoreLocker() { m_semaphore.release(); }

private:
    QSystemSemaphore &m_semaphore;

    Q_DISABLE_COPY(SemaphoreLocker)
};

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QString &keyText)
    : m_memoryKey(derivedKey(userKeyText(keyText), QStringLiteral("_sharedmemKey")))
    , m_lockKey(derivedKey(userKeyText(keyText), QStringLiteral("_memLockKey")))
    , m_sharedMemory(m_memoryKey)
    , m_memoryLock(m_lockKey, 1, QSystemSemaphore::Open)
{
    // A segment left behind by a killed instance has no attachments; attaching
    // and detaching once removes it, a live instance's segment stays.
    SemaphoreLocker locker(m_memoryLock);
    QSharedMemory leftover(m_memoryKey);
    if (leftover.attach())
        leftover.detach();
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    release();
}

QString SingleInstanceGuard::userKeyText(const QString &keyText)
{
    return keyText + QLatin1Char('_') + QString::number(::getuid());
}

QString SingleInstanceGuard::derivedKey(const QString &keyText, const QString &salt)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((keyText + salt).toUtf8(), QCryptographicHash::Sha1).toHex());
}

bool SingleInstanceGuard::isAnotherRunning()
{
    if (m_sharedMemory.isAttached())
        return false;
    SemaphoreLocker locker(m_memoryLock);
    if (!m_sharedMemory.attach())
        return false;
    m_sharedMemory.detach();
    return true;
}

bool SingleInstanceGuard::tryToRun()
{
    if (isAnotherRunning())
        return false;
    bool created = false;
    {
        SemaphoreLocker locker(m_memoryLock);
        created = m_sharedMemory.create(segmentSize);
    }
    if (!created)
        release();
    return created;
}

void SingleInstanceGuard::release()
{
    SemaphoreLocker locker(m_memoryLock);
    if (m_sharedMemory.isAttached())
        m_sharedMemory.detach();
}
