#pragma once

// What every benchmark program does once its application object exists: the workstation's
// diagnostics kept out of the figures (warnings still reach standard error), then Google Benchmark
// on the arguments it was given.
int runBenchmarks(int argc, char **argv);

// Benchmarks that draw widgets run on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
void useOffscreenUnlessSet();
