// Linked into every target of a ThreadSanitizer build (QUILLMARK_SANITIZE=tsan)
// and nowhere else. QMutex, QWaitCondition, QThread and the pool that runs
// concurrent tasks do their locking inside libQt5Core, which ThreadSanitizer
// does not instrument, so every access that our code guards with them would
// look like a race. These definitions take the place of Qt's for the calls
// made from our own code: each calls Qt's real function and tells
// ThreadSanitizer about the ordering it creates.
#include <QDeadlineTimer>
#include <QFutureInterfaceBase>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <sanitizer/tsan_interface.h>

#include <dlfcn.h>

namespace {

template <typename Function>
Function qtFunction(const char *mangledName)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, mangledName));
}

// The mutex is given up while waiting and held again afterwards; whoever woke
// us released the condition first.
template <typename Real, typename Limit>
bool waitAnnotated(Real real, QWaitCondition *condition, QMutex *lockedMutex, Limit limit)
{
    __tsan_release(lockedMutex);
    const bool woken = real(condition, lockedMutex, limit);
    __tsan_acquire(condition);
    __tsan_acquire(lockedMutex);
    return woken;
}

} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<void (*)(QMutex *)>("_ZN6QMutex4lockEv");
    real(this);
    __tsan_acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = qtFunction<bool (*)(QMutex *, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = real(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QMutex::unlock() noexcept
{
    static const auto real = qtFunction<void (*)(QMutex *)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    real(this);
}

bool QWaitCondition::wait(QMutex *lockedMutex, QDeadlineTimer deadline)
{
    static const auto real = qtFunction<bool (*)(QWaitCondition *, QMutex *, QDeadlineTimer)>(
        "_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    return waitAnnotated(real, this, lockedMutex, deadline);
}

bool QWaitCondition::wait(QMutex *lockedMutex, unsigned long time)
{
    static const auto real = qtFunction<bool (*)(QWaitCondition *, QMutex *, unsigned long)>(
        "_ZN14QWaitCondition4waitEP6QMutexm");
    return waitAnnotated(real, this, lockedMutex, time);
}

void QWaitCondition::wakeOne()
{
    static const auto real = qtFunction<void (*)(QWaitCondition *)>("_ZN14QWaitCondition7wakeOneEv");
    __tsan_release(this);
    real(this);
}

void QWaitCondition::wakeAll()
{
    static const auto real = qtFunction<void (*)(QWaitCondition *)>("_ZN14QWaitCondition7wakeAllEv");
    __tsan_release(this);
    real(this);
}

// A thread emits finished() on itself after its last work and before wait()
// returns for it, so what the thread did comes before whatever follows a
// successful wait(), such as deleting the thread object.
void QThread::start(Priority priority)
{
    static const auto real = qtFunction<void (*)(QThread *, Priority)>("_ZN7QThread5startENS_8PriorityE");
    QObject::connect(this, &QThread::finished, this, [this] { __tsan_release(this); },
                     Qt::DirectConnection);
    real(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = qtFunction<bool (*)(QThread *, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool finished = real(this, deadline);
    if (finished)
        __tsan_acquire(this);
    return finished;
}

bool QThread::wait(unsigned long time)
{
    static const auto real = qtFunction<bool (*)(QThread *, unsigned long)>("_ZN7QThread4waitEm");
    const bool finished = real(this, time);
    if (finished)
        __tsan_acquire(this);
    return finished;
}

// A concurrent task is built on the thread that starts it, reports itself
// started there, and is then queued to a pool thread, whose first call on it
// asks whether it was cancelled before running its body.
void QFutureInterfaceBase::reportStarted()
{
    static const auto real = qtFunction<void (*)(QFutureInterfaceBase *)>("_ZN20QFutureInterfaceBase13reportStartedEv");
    __tsan_release(this);
    real(this);
}

bool QFutureInterfaceBase::isCanceled() const
{
    static const auto real = qtFunction<bool (*)(const QFutureInterfaceBase *)>("_ZNK20QFutureInterfaceBase10isCanceledEv");
    __tsan_acquire(const_cast<QFutureInterfaceBase *>(this));
    return real(this);
}

// The last owner of a task's future deletes the task's results, on whichever
// thread lets go last; the count that decides it is an atomic inside Qt.
bool QFutureInterfaceBase::derefT() const
{
    static const auto real = qtFunction<bool (*)(const QFutureInterfaceBase *)>("_ZNK20QFutureInterfaceBase6derefTEv");
    auto *self = const_cast<QFutureInterfaceBase *>(this);
    __tsan_release(self);
    const bool stillOwned = real(this);
    if (!stillOwned)
        __tsan_acquire(self);
    return stillOwned;
}
