#pragma once

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

class QFutureWatcherBase;

// Base of the objects through which a pool thread has the GUI thread open a
// dialog and waits until the user has closed it. The launcher lives on the
// GUI thread; a subclass emits a queued signal to its own slot, which runs the
// dialog and calls markDone(), while the caller waits in waitUntilDone().
// One caller at a time may wait on a launcher.
class GuiThreadLauncher : public QObject
{
    Q_OBJECT

public:
    GuiThreadLauncher();

    // Blocks the GUI thread until the watched task has ended, still serving
    // the launchers it waits on: also once the event loop has quit, when a
    // window that runs a task is destroyed.
    static void serveUntilFinished(const QFutureWatcherBase &watcher);

    // Owners on a worker thread release a launcher through this: it lives on
    // the GUI thread and goes there, after the request it carried is handled.
    struct DeleteLater
    {
        void operator()(QObject *object) const { object->deleteLater(); }
    };

protected:
    static bool onGuiThread();
    // Before emitting the request, so that a mark left by an earlier request
    // cannot end the wait for this one.
    void prepareWait();
    // Returns at once on the GUI thread: the dialog opens when the event loop
    // runs next, and blocking here would keep it from ever opening.
    void waitUntilDone();
    void markDone();

private:
    QMutex m_mutex;
    QWaitCondition m_doneChanged;
    bool m_done = false;
};
