#include "benchmain.h"
#include "childprocess.h"
#include "fixturepaths.h"
#include "hostdriver.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

// The real quillmark binary over plain pipes, as the browser starts it: the
// latency of one call and the time to the first answer.

namespace {

using Clock = std::chrono::steady_clock;

constexpr int roundTripCount = 1000;
// Shared with ours, which scripts/bench sends to a file.
const QString childErrors;

QByteArray methodFrame(const QString &shortName)
{
    const QJsonObject call{{QStringLiteral("method"), HostDriver::qualified(shortName)},
                           {QStringLiteral("args"), QJsonArray()}};
    return ChildProcess::frame(QJsonDocument(call).toJson(QJsonDocument::Compact));
}

std::unique_ptr<ChildProcess> startHost()
{
    return std::make_unique<ChildProcess>(HostDriver::binaryPath(),
                                          QStringList{QStringLiteral("chrome-extension://bench/")},
                                          childErrors);
}

// The answer must carry no error, or the figure would time a failure.
QJsonObject checkedAnswer(const QByteArray &payload, const QString &shortName)
{
    const QJsonObject answer = QJsonDocument::fromJson(payload).object();
    if (answer.value(QStringLiteral("method")).toString() != HostDriver::qualified(shortName)
        || !answer.value(QStringLiteral("error")).isNull()) {
        throw std::runtime_error("unexpected answer: " + payload.toStdString());
    }
    return answer;
}

void endChild(ChildProcess &child)
{
    child.closeInput();
    child.wait();
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(fraction * double(values.size() - 1) + 0.5);
    return values.at(index);
}

double secondsBetween(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double>(end - start).count();
}

} // namespace

// Writes the frame, reads the answer frame, 1000 times; the latencies.
static std::vector<double> roundTrips(ChildProcess &child, const QByteArray &frame)
{
    std::vector<double> latencies;
    for (int i = 0; i < roundTripCount; ++i) {
        const Clock::time_point start = Clock::now();
        child.write(frame);
        child.readFramePayload();
        latencies.push_back(secondsBetween(start, Clock::now()));
    }
    return latencies;
}

static void report(benchmark::State &state, const std::vector<double> &latencies)
{
    double total = 0;
    for (const double latency : latencies)
        total += latency;
    state.SetIterationTime(total / double(latencies.size()));
    state.counters["p50_ms"] = percentile(latencies, 0.50) * 1e3;
    state.counters["p99_ms"] = percentile(latencies, 0.99) * 1e3;
    state.counters["max_ms"] = percentile(latencies, 1.0) * 1e3;
}

// 1000 "GetVersion" calls, one at a time, each from the request written to
// its answer read. One host process per repetition.
static void BM_RoundTrip_GetVersion(benchmark::State &state)
{
    const QByteArray request = methodFrame(QStringLiteral("GetVersion"));
    try {
        for (auto _ : state) {
            const auto host = startHost();
            host->write(methodFrame(QStringLiteral("CreateInstance")));
            checkedAnswer(host->readFramePayload(), QStringLiteral("CreateInstance"));
            host->write(request);
            checkedAnswer(host->readFramePayload(), QStringLiteral("GetVersion"));
            report(state, roundTrips(*host, request));
            endChild(*host);
        }
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_RoundTrip_GetVersion)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

// The same frames echoed by cat: what one process hop through two pipes
// costs on this machine at this moment, scheduling delays included.
static void BM_RoundTrip_PipeEcho(benchmark::State &state)
{
    const QByteArray request = methodFrame(QStringLiteral("GetVersion"));
    try {
        for (auto _ : state) {
            ChildProcess cat(QStringLiteral("/bin/cat"), {}, childErrors);
            report(state, roundTrips(cat, request));
            endChild(cat);
        }
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_RoundTrip_PipeEcho)->UseManualTime()->Iterations(1)->Unit(benchmark::kMicrosecond);

// Process start to the answer of "CreateInstance".
static void BM_Startup_Host(benchmark::State &state)
{
    const QByteArray create = methodFrame(QStringLiteral("CreateInstance"));
    try {
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            const auto host = startHost();
            host->write(create);
            checkedAnswer(host->readFramePayload(), QStringLiteral("CreateInstance"));
            state.SetIterationTime(secondsBetween(start, Clock::now()));
            endChild(*host);
        }
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Startup_Host)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// Process start to the first byte of a program that makes a QApplication.
static void BM_Startup_BareApplication(benchmark::State &state)
{
    try {
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            ChildProcess bare(QStringLiteral(QUILLMARK_BARE_APPLICATION), {}, childErrors);
            bare.readExactly(1);
            state.SetIterationTime(secondsBetween(start, Clock::now()));
            bare.closeInput();
            if (bare.wait() != 0)
                throw std::runtime_error("bare application failed");
        }
    } catch (const std::exception &e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_Startup_BareApplication)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

QUILLMARK_BENCHMARK_MAIN(Quillmark)
