#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A local user made for one test and removed with it (needs root): the
// other person on a shared machine, who can create names in the shared
// temporary folder and System V objects, but nothing of ours.
class ThrowAwayUser
{
public:
    ThrowAwayUser();
    ~ThrowAwayUser();
    ThrowAwayUser(const ThrowAwayUser &) = delete;
    ThrowAwayUser &operator=(const ThrowAwayUser &) = delete;

    bool isValid() const;
    QString name() const;
    // setpriv and its arguments that run command as this user.
    QStringList commandAs(const QStringList &command) const;
    // Runs command as this user to its end; true when it ended with 0.
    bool run(const QStringList &command, const QProcessEnvironment &environment =
                                             QProcessEnvironment::systemEnvironment()) const;

private:
    QString m_name;
    bool m_valid = false;
};
