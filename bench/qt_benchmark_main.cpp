// The main of the benchmarks on the writer core and the CLI: Google Benchmark inside a
// QCoreApplication, which Qt's file, settings and process classes expect to exist.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
