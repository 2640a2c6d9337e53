#include "benchmain.h"

#include "testhome.h"

#include <QApplication>

#include <benchmark/benchmark.h>

int runBenchmarks(int argc, char **argv, DiagnosticLog::Program program)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    const TestHome home;
    home.applyToCurrentProcess();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    DiagnosticLog::install(program);
    QApplication application(argc, argv);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
