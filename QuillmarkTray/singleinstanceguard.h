#pragma once

#include <QString>

// Keeps a second tray from running for the same user: the running instance
// holds an exclusive lock on a file in a directory that only this user can
// write ($XDG_RUNTIME_DIR, or the user's cache folder without one), so no
// other user can create or hold it. The kernel drops the lock when the
// process ends, however it ends: a dead tray never blocks the next.
class SingleInstanceGuard
{
public:
    explicit SingleInstanceGuard(const QString &lockFileName);
    ~SingleInstanceGuard();

    static QString lockDirectory();
    QString lockPath() const;

    // False only while another process of this user holds the lock. A lock
    // that cannot be made safely (a place that is not the user's own) is
    // logged and does not keep the tray from running.
    bool tryToRun();
    void release();

private:
    const QString m_path;
    int m_descriptor = -1;

    Q_DISABLE_COPY(SingleInstanceGuard)
};
