#pragma once

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

// Base of the objects through which a pool thread has the GUI thread open a
// dialog and waits until the user has closed it. The launcher lives on the
// GUI thread; a subclass emits a queued signal to its own slot, which opens
// the dialog without blocking and calls markDone() once it has closed, while
// the caller waits in waitUntilDone(). One caller at a time may wait on a
// launcher.
class GuiThreadLauncher : public QObject
{
    Q_OBJECT

public:
    GuiThreadLauncher();

    // On the GUI thread: the waiting caller is released as if the dialog had
    // been cancelled, and a dialog not yet opened never opens.
    void cancel();
    // From any thread, before the request: it will not open its dialog.
    void markCancelled();

    // Owners on a worker thread release a launcher through this: it lives on
    // the GUI thread and goes there, after the request it carried is handled.
    struct DeleteLater
    {
        void operator()(QObject *object) const { object->deleteLater(); }
    };

protected:
    static bool onGuiThread();
    bool isCancelled() const;
    // Closes the dialog the launcher has open, if any.
    virtual void dismissDialog() = 0;
    // Before emitting the request, so that a mark left by an earlier request
    // cannot end the wait for this one.
    void prepareWait();
    // Returns at once on the GUI thread: the dialog opens when the event loop
    // runs next, and blocking here would keep it from ever opening.
    void waitUntilDone();
    void markDone();

private:
    mutable QMutex m_mutex;
    QWaitCondition m_doneChanged;
    bool m_done = false;
    bool m_cancelled = false;
};
