#pragma once

#include "diagnosticlog.h"

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
