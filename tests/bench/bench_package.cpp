#include "benchmain.h"
#include "childprocess.h"
#include "dgst.h"
#include "releasesigner.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>

// A downloaded installer package checked against its detached signature, as
// the updater does it with the package in memory, against sha256sum of the
// same bytes from a file in the page cache.

namespace {

using Clock = std::chrono::steady_clock;

constexpr int packageBytes = 200 * 1024 * 1024;

struct Package
{
    Package()
    {
        data = QByteArray(packageBytes, Qt::Uninitialized);
        QRandomGenerator(11).fillRange(reinterpret_cast<quint32 *>(data.data()),
                                       packageBytes / int(sizeof(quint32)));
        signature = ReleaseSigner().signature(data);
        path = directory.filePath(QStringLiteral("quillmark_amd64.deb"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            throw std::runtime_error("cannot write the package file");
    }

    QTemporaryDir directory;
    QByteArray data;
    QByteArray signature;
    QString path;
};

const Package &package()
{
    static const Package instance;
    return instance;
}

void finish(benchmark::State &state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * packageBytes);
}

} // namespace

static void BM_PackageVerification_Host(benchmark::State &state)
{
    const Package &file = package();
    const dgst verifier;
    for (auto _ : state) {
        if (!verifier.verify(file.data, file.signature)) {
            state.SkipWithError("signature did not verify");
            break;
        }
    }
    finish(state);
}
BENCHMARK(BM_PackageVerification_Host)->Unit(benchmark::kMillisecond);

static void BM_PackageVerification_Sha256sum(benchmark::State &state)
{
    const Package &file = package();
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        ChildProcess sha256sum(QStringLiteral("/usr/bin/sha256sum"), {file.path}, QString());
        sha256sum.closeInput();
        const QByteArray line = sha256sum.readExactly(64);
        if (sha256sum.wait() != 0) {
            state.SkipWithError("sha256sum failed");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        benchmark::DoNotOptimize(line.constData());
    }
    finish(state);
}
BENCHMARK(BM_PackageVerification_Sha256sum)->UseManualTime()->Unit(benchmark::kMillisecond);

QUILLMARK_BENCHMARK_MAIN(Updater)
