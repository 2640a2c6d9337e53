#pragma once

#include <QString>
#include <QStringList>

// Takes the place of "QuillmarkUpdater.sh" beside a tray binary: records the
// arguments of every run and exits with the code chosen for its mode, or
// dies by the signal chosen for it, or (silent runs) never ends.
class UpdaterStandIn
{
public:
    explicit UpdaterStandIn(const QString &binDirectory);

    // Writes the script and forgets earlier runs and codes (both exit 0).
    bool install() const;
    void remove() const;
    void setSilentExitCode(int code) const;
    void setGuiExitCode(int code) const;
    // A signal name for kill -s, e.g. "ILL".
    void setSilentSignal(const QString &signal) const;
    void setGuiSignal(const QString &signal) const;
    void setSilentHangs() const;
    // One entry per run, its arguments joined by spaces, in start order.
    QStringList calls() const;

private:
    QString path(const QString &fileName) const;
    void writeCode(const QString &fileName, int code) const;
    void writeText(const QString &fileName, const QByteArray &text) const;

    QString m_directory;
};
