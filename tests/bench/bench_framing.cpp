#include "benchmain.h"
#include "childprocess.h"
#include "readthread.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <thread>
#include <unistd.h>

// Reading one 32 MiB frame from standard input, against the same bytes
// copied through a pipe by cat: how close the reader comes to what the
// machine's pipes carry. Decoding the JSON is measured on its own.

namespace {

using Clock = std::chrono::steady_clock;

constexpr int frameBytes = 32 * 1024 * 1024;

// A page answer as the browser relays it: one method call whose single
// argument is the envelope text, Base64 inside.
QByteArray bigPayload()
{
    const QByteArray head = R"({"args":["<Response><Nonce>{0f8fad5b-d9cb-469f-a165-70867728950e}</Nonce><Data>)";
    const QByteArray tail = R"(</Data></Response>"],"method":"Quillmark.1.0.7.qt.QES.ProcessGetDocumentPageResponse"})";
    const int base64Length = (frameBytes - 4 - head.size() - tail.size()) / 4 * 4;
    QByteArray random(base64Length / 4 * 3, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char &byte : random)
        byte = static_cast<char>(generator.bounded(256));
    QByteArray payload = head + random.toBase64() + tail;
    payload.append(QByteArray(frameBytes - 4 - payload.size(), ' '));
    return payload;
}

const QByteArray &payload()
{
    static const QByteArray bytes = bigPayload();
    return bytes;
}

const QByteArray &frame()
{
    static const QByteArray bytes = ChildProcess::frame(payload());
    return bytes;
}

// The browser's end of the host's standard input: one pipe for the whole
// run, as the browser keeps it open between messages.
class Pipe
{
public:
    Pipe()
    {
        if (::pipe2(m_descriptors, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
    }
    ~Pipe()
    {
        closeWriteEnd();
        ::close(m_descriptors[0]);
    }
    int readEnd() const { return m_descriptors[0]; }
    void closeWriteEnd()
    {
        if (m_descriptors[1] >= 0)
            ::close(m_descriptors[1]);
        m_descriptors[1] = -1;
    }
    // Writes the bytes from a thread of its own, as the browser would.
    std::thread feed(const QByteArray &bytes)
    {
        return std::thread([this, &bytes] {
            for (qint64 written = 0; written < bytes.size();) {
                const ssize_t now = ::write(m_descriptors[1], bytes.constData() + written,
                                            size_t(bytes.size() - written));
                if (now <= 0)
                    break;
                written += now;
            }
        });
    }

private:
    int m_descriptors[2];
};

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void finish(benchmark::State &state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * frame().size());
}

} // namespace

// The reading part of the host: one frame after another from the same pipe,
// as ReadThread reads them before decoding.
static void BM_FrameRead_Host(benchmark::State &state)
{
    frame();
    Pipe pipe;
    ReadThread reader(pipe.readEnd());
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        std::thread writer = pipe.feed(frame());
        const QByteArray &bytes = reader.readFramePayload();
        state.SetIterationTime(secondsSince(start));
        writer.join();
        benchmark::DoNotOptimize(bytes.constData());
    }
    finish(state);
}
BENCHMARK(BM_FrameRead_Host)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same bytes through a pipe into cat, which copies them to /dev/null.
static void BM_FrameRead_PipeCat(benchmark::State &state)
{
    frame();
    for (auto _ : state) {
        ChildProcess cat(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), QStringLiteral("exec cat > /dev/null")},
                         QStringLiteral("/dev/null"));
        // Started and waiting in read() before the clock runs.
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const Clock::time_point start = Clock::now();
        cat.write(frame());
        cat.closeInput();
        cat.wait();
        state.SetIterationTime(secondsSince(start));
    }
    finish(state);
}
BENCHMARK(BM_FrameRead_PipeCat)->UseManualTime()->Unit(benchmark::kMillisecond);

// Payload to JSON object, as the reader decodes it.
static void BM_FrameDecode_Json(benchmark::State &state)
{
    payload();
    for (auto _ : state) {
        const QJsonObject object = QJsonDocument::fromJson(payload()).object();
        benchmark::DoNotOptimize(object.size());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * payload().size());
}
BENCHMARK(BM_FrameDecode_Json)->Unit(benchmark::kMillisecond);

// The whole way on the reader thread: first byte written to the object
// handed over by messageRead.
static void BM_FrameToObject_Host(benchmark::State &state)
{
    frame();
    Pipe pipe;
    ReadThread reader(pipe.readEnd());
    std::promise<Clock::time_point> delivered;
    QObject::connect(&reader, &ReadThread::messageRead, &reader,
                     [&delivered](const QJsonObject &object) {
                         benchmark::DoNotOptimize(object.size());
                         delivered.set_value(Clock::now());
                     },
                     Qt::DirectConnection);
    reader.start();
    for (auto _ : state) {
        delivered = std::promise<Clock::time_point>();
        std::future<Clock::time_point> objectHandedOver = delivered.get_future();
        const Clock::time_point start = Clock::now();
        std::thread writer = pipe.feed(frame());
        const Clock::time_point end = objectHandedOver.get();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        writer.join();
        // The reader counts a message as dispatched once its queued
        // acknowledgement runs on this thread, which has no event loop here;
        // without it the reader would hold back the next frame for good.
        QCoreApplication::sendPostedEvents();
    }
    pipe.closeWriteEnd();
    reader.wait();
    finish(state);
}
BENCHMARK(BM_FrameToObject_Host)->UseManualTime()->Unit(benchmark::kMillisecond);

QUILLMARK_BENCHMARK_MAIN(Quillmark)
