#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// A local update server for tests and demos: listens on 127.0.0.1 on a free
// port, over HTTP or over HTTPS with the development certificate of
// tools/updateserver/tls, and answers each path as it was told: content,
// redirects, error statuses, cut connections, bodies of unknown length or
// slow bodies, and the ways a hostile or broken server behaves (silence,
// a stall mid-body, an endless body, a gzip bomb). Routes may change while
// it runs. Behind a forwarding proxy
// (e.g. tinyproxy's Upstream) it also answers requests in absolute form, so
// that clients can name a host that never resolves.
class UpdateServer
{
public:
    enum class Scheme { Http, Https };

    // CA that signed the HTTPS server certificate (127.0.0.1, localhost).
    static QString developmentCaPath();

    explicit UpdateServer(Scheme scheme = Scheme::Http);
    ~UpdateServer();
    UpdateServer(const UpdateServer &) = delete;
    UpdateServer &operator=(const UpdateServer &) = delete;

    bool start();
    void stop();

    int port() const;
    // "http://127.0.0.1:<port>" or "https://..."
    QString baseUrl() const;
    // Base address plus path (which starts with "/").
    QString url(const QString &path) const;

    void serve(const QString &path, const QByteArray &body);
    // Without a Content-Length, in pieces of 1 KiB: the client learns the
    // size only at the end.
    void serveChunked(const QString &path, const QByteArray &body);
    // chunkSize bytes every delayMs milliseconds.
    void servePaced(const QString &path, const QByteArray &body, int chunkSize, int delayMs);
    void redirect(const QString &path, const QString &target, int status = 302);
    void fail(const QString &path, int status);
    // Announces the whole body but closes the connection after half of it.
    void cutConnection(const QString &path, const QByteArray &body);
    // Accepts the request and never answers, until the server stops.
    void acceptSilently(const QString &path);
    // Announces the whole body, sends the first half and then nothing more
    // until the server stops.
    void stallMidBody(const QString &path, const QByteArray &body);
    // A body of unknown length that never ends: 64 KiB pieces for as long as
    // the client reads.
    void serveEndlessBody(const QString &path);
    // A gzip body, marked as such, that inflates to inflatedMiB MiB of zero
    // bytes from about a thousandth of that on the wire. Sent whatever the
    // client asked for.
    void serveGzipBomb(const QString &path, int inflatedMiB);
    // Headers that announce a body of announcedBytes, then silence.
    void announceBody(const QString &path, qint64 announcedBytes);
    // Every file below directory, under "/" plus its relative path.
    void serveDirectory(const QString &directory);
    void remove(const QString &path);

    int requestCount(const QString &path) const;
    QStringList requestedPaths() const;

private:
    using Handler = std::function<void(httplib::Response &)>;

    void route(const QString &path, Handler handler);
    void dispatch(const httplib::Request &request, httplib::Response &response);
    // Blocks the calling server thread until stop().
    void waitForStop();
    static QString originPath(const std::string &target);

    Scheme m_scheme;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_stopMutex;
    std::condition_variable m_stopped;
    mutable std::mutex m_mutex;
    QHash<QString, Handler> m_routes;
    QStringList m_requested;
};
