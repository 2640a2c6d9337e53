#pragma once

#include "diagnosticlog.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <stdexcept>

// The main() of every benchmark program: a home directory of its own with
// logging switched off (as on a user's machine), the diagnostic log handler
// of the program under test installed, a QApplication on the offscreen
// platform, then Google Benchmark with its usual command line.
int runBenchmarks(int argc, char **argv, DiagnosticLog::Program program);

#define QUILLMARK_BENCHMARK_MAIN(program)                                                          \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        return runBenchmarks(argc, argv, DiagnosticLog::Program::program);                         \
    }

// Serves the event loop until condition() holds; a window that never gets
// there within limitMilliseconds fails the benchmark instead of hanging it.
template <typename Condition>
void serveEventsUntil(Condition condition, int limitMilliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMilliseconds)
            throw std::runtime_error("the document window did not get there in time");
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}
