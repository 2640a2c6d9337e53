#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real tinyproxy that asks for credentials (BasicAuth), run as a child on a
// free port. It forwards every request to one upstream (the local update
// server), so clients may name a host that never resolves: Qt sends nothing
// for loopback addresses through a proxy.
class AuthProxy
{
public:
    AuthProxy(const QString &user, const QString &password, int upstreamPort);
    ~AuthProxy();

    // "http://updates.quillmark.test": a site only this proxy can reach.
    static QString hiddenSite();

    bool start();
    QString address() const; // "http://127.0.0.1:<port>"
    int requestsSeen() const;

private:
    QTemporaryDir m_dir;
    QString m_user;
    QString m_password;
    int m_upstreamPort;
    int m_port = 0;
    QProcess m_process;
};
