#include "updateserver.h"

#include "fixturepaths.h"

#include <QDirIterator>
#include <QFile>

#include <httplib.h>
#include <zlib.h>

#include <chrono>

namespace {
const std::string binaryType = "application/octet-stream";
constexpr size_t mebibyte = 1024 * 1024;

std::string toStd(const QByteArray &bytes)
{
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Raw deflate of one MiB of zero bytes, ended by a full flush: byte-aligned,
// not final and with no reference to anything before it, so that any number
// of copies in a row is one valid deflate stream.
QByteArray deflatedZeroMebibyte()
{
    const QByteArray zeros(static_cast<int>(mebibyte), '\0');
    QByteArray output(static_cast<int>(mebibyte), '\0');
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(zeros.constData()));
    stream.avail_in = static_cast<uInt>(zeros.size());
    stream.next_out = reinterpret_cast<Bytef *>(output.data());
    stream.avail_out = static_cast<uInt>(output.size());
    deflate(&stream, Z_FULL_FLUSH);
    output.truncate(static_cast<int>(stream.total_out));
    deflateEnd(&stream);
    return output;
}

QByteArray littleEndian32(uLong value)
{
    QByteArray bytes(4, '\0');
    for (int index = 0; index < 4; ++index)
        bytes[index] = static_cast<char>((value >> (8 * index)) & 0xff);
    return bytes;
}

// The parts of a gzip member: header, the repeated block, and the final
// empty block with the trailer (CRC-32 and length of the inflated bytes).
struct GzipBomb
{
    QByteArray header = QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
    QByteArray block = deflatedZeroMebibyte();
    QByteArray trailer;
    size_t repeats;

    explicit GzipBomb(int inflatedMiB) : repeats(static_cast<size_t>(inflatedMiB))
    {
        const QByteArray zeros(static_cast<int>(mebibyte), '\0');
        const uLong blockCrc = crc32(0, reinterpret_cast<const Bytef *>(zeros.constData()), mebibyte);
        uLong crc = 0;
        for (size_t index = 0; index < repeats; ++index)
            crc = crc32_combine(crc, blockCrc, mebibyte);
        trailer = QByteArray("\x03\0", 2) + littleEndian32(crc)
                  + littleEndian32(static_cast<uLong>(repeats * mebibyte));
    }

    size_t size() const
    {
        return static_cast<size_t>(header.size()) + repeats * static_cast<size_t>(block.size())
               + static_cast<size_t>(trailer.size());
    }

    // The rest of the part that holds offset.
    std::pair<const char *, size_t> pieceAt(size_t offset) const
    {
        const size_t headerSize = static_cast<size_t>(header.size());
        const size_t blockSize = static_cast<size_t>(block.size());
        if (offset < headerSize)
            return {header.constData() + offset, headerSize - offset};
        const size_t inBlocks = offset - headerSize;
        if (inBlocks < repeats * blockSize)
            return {block.constData() + inBlocks % blockSize, blockSize - inBlocks % blockSize};
        const size_t inTrailer = inBlocks - repeats * blockSize;
        return {trailer.constData() + inTrailer, static_cast<size_t>(trailer.size()) - inTrailer};
    }
};
} // namespace

QString UpdateServer::developmentCaPath()
{
    return QStringLiteral(UPDATESERVER_TLS_DIR "/development-ca.pem");
}

UpdateServer::UpdateServer(Scheme scheme)
    : m_scheme(scheme)
{
    if (scheme == Scheme::Https)
        m_server = std::make_unique<httplib::SSLServer>(UPDATESERVER_TLS_DIR "/server.pem",
                                                        UPDATESERVER_TLS_DIR "/server-key.pem");
    else
        m_server = std::make_unique<httplib::Server>();
    m_server->Get(".*", [this](const httplib::Request &request, httplib::Response &response) {
        dispatch(request, response);
    });
}

UpdateServer::~UpdateServer()
{
    stop();
}

bool UpdateServer::start()
{
    if (!m_server->is_valid())
        return false;
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return false;
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    return true;
}

void UpdateServer::stop()
{
    {
        const std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

int UpdateServer::port() const
{
    return m_port;
}

QString UpdateServer::baseUrl() const
{
    const QString scheme = m_scheme == Scheme::Https ? QStringLiteral("https") : QStringLiteral("http");
    return QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(m_port);
}

QString UpdateServer::url(const QString &path) const
{
    return baseUrl() + path;
}

void UpdateServer::route(const QString &path, Handler handler)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_routes.insert(path, std::move(handler));
}

void UpdateServer::remove(const QString &path)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_routes.remove(path);
}

void UpdateServer::serve(const QString &path, const QByteArray &body)
{
    route(path, [body](httplib::Response &response) { response.set_content(toStd(body), binaryType); });
}

void UpdateServer::serveChunked(const QString &path, const QByteArray &body)
{
    route(path, [body](httplib::Response &response) {
        response.set_chunked_content_provider(binaryType, [body](size_t offset, httplib::DataSink &sink) {
            const size_t size = static_cast<size_t>(body.size());
            if (offset >= size) {
                sink.done();
                return true;
            }
            // Pieces a little apart, so that the client sees the transfer
            // in progress before the end tells it the size.
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            sink.write(body.constData() + offset, std::min<size_t>(1024, size - offset));
            return true;
        });
    });
}

void UpdateServer::servePaced(const QString &path, const QByteArray &body, int chunkSize,
                              int delayMs)
{
    route(path, [this, body, chunkSize, delayMs](httplib::Response &response) {
        response.set_content_provider(
            static_cast<size_t>(body.size()), binaryType,
            [this, body, chunkSize, delayMs](size_t offset, size_t, httplib::DataSink &sink) {
                if (m_stopping)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                const size_t length =
                    std::min(static_cast<size_t>(chunkSize), static_cast<size_t>(body.size()) - offset);
                sink.write(body.constData() + offset, length);
                return true;
            });
    });
}

void UpdateServer::redirect(const QString &path, const QString &target, int status)
{
    route(path, [target, status](httplib::Response &response) {
        response.set_redirect(target.toStdString(), status);
    });
}

void UpdateServer::fail(const QString &path, int status)
{
    route(path, [status](httplib::Response &response) {
        response.status = status;
        response.set_content("failure on purpose", "text/plain");
    });
}

void UpdateServer::cutConnection(const QString &path, const QByteArray &body)
{
    route(path, [body](httplib::Response &response) {
        response.set_content_provider(
            static_cast<size_t>(body.size()), binaryType,
            [body](size_t offset, size_t, httplib::DataSink &sink) {
                if (offset > 0)
                    return false; // drops the connection mid-body
                sink.write(body.constData(), static_cast<size_t>(body.size() / 2));
                return true;
            });
    });
}

void UpdateServer::waitForStop()
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    m_stopped.wait(lock, [this] { return m_stopping.load(); });
}

void UpdateServer::acceptSilently(const QString &path)
{
    route(path, [this](httplib::Response &) { waitForStop(); });
}

void UpdateServer::stallMidBody(const QString &path, const QByteArray &body)
{
    route(path, [this, body](httplib::Response &response) {
        response.set_content_provider(
            static_cast<size_t>(body.size()), binaryType,
            [this, body](size_t offset, size_t, httplib::DataSink &sink) {
                if (offset == 0)
                    return sink.write(body.constData(), static_cast<size_t>(body.size() / 2));
                waitForStop();
                return false;
            });
    });
}

void UpdateServer::serveEndlessBody(const QString &path)
{
    route(path, [this](httplib::Response &response) {
        response.set_chunked_content_provider(binaryType, [this](size_t, httplib::DataSink &sink) {
            static const QByteArray piece(64 * 1024, 'e');
            return !m_stopping && sink.write(piece.constData(), static_cast<size_t>(piece.size()));
        });
    });
}

void UpdateServer::serveGzipBomb(const QString &path, int inflatedMiB)
{
    const auto bomb = std::make_shared<const GzipBomb>(inflatedMiB);
    route(path, [this, bomb](httplib::Response &response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content_provider(
            bomb->size(), binaryType, [this, bomb](size_t offset, size_t, httplib::DataSink &sink) {
                const std::pair<const char *, size_t> piece = bomb->pieceAt(offset);
                return !m_stopping && sink.write(piece.first, piece.second);
            });
    });
}

void UpdateServer::announceBody(const QString &path, qint64 announcedBytes)
{
    route(path, [this, announcedBytes](httplib::Response &response) {
        response.set_content_provider(static_cast<size_t>(announcedBytes), binaryType,
                                      [this](size_t, size_t, httplib::DataSink &) {
                                          waitForStop();
                                          return false;
                                      });
    });
}

void UpdateServer::serveDirectory(const QString &directory)
{
    QDirIterator files(directory, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString filePath = files.next();
        QFile file(filePath);
        if (file.open(QIODevice::ReadOnly))
            serve(filePath.mid(directory.size()), file.readAll());
    }
}

QString UpdateServer::originPath(const std::string &target)
{
    // A proxy in front of this server forwards "http://host:port/path".
    const QString path = QString::fromStdString(target);
    if (!path.startsWith(QLatin1String("http://")) && !path.startsWith(QLatin1String("https://")))
        return path;
    const int pathStart = path.indexOf(QLatin1Char('/'), path.indexOf(QLatin1String("//")) + 2);
    return pathStart < 0 ? QStringLiteral("/") : path.mid(pathStart);
}

void UpdateServer::dispatch(const httplib::Request &request, httplib::Response &response)
{
    Handler handler;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const QString path = originPath(request.path);
        m_requested.append(path);
        handler = m_routes.value(path);
    }
    if (handler) {
        handler(response);
        return;
    }
    response.status = 404;
    response.set_content("not found", "text/plain");
}

int UpdateServer::requestCount(const QString &path) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_requested.count(path);
}

QStringList UpdateServer::requestedPaths() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_requested;
}
