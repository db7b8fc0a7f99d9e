// The effort cost kernel on a 4000 x 4000 grid: the plain reference, and the fast kernel on
// one and on two threads, for a FLOAT and a SHORT DEM. The FLOAT DEM comes twice: with
// elevations of full single precision (few repeated differences) and with elevations in
// decimetres (as many DEMs are stored).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/effortsurface/effortkernel.h"
#include "tools/effortsurface/effortkernelref.h"

namespace {

constexpr int kSide = 4000;
constexpr double kNoData = -9999;

struct Scene {
  std::vector<float> demFloat, demDecimetres;
  std::vector<std::int16_t> demShort;
  std::vector<std::uint8_t> trails, streams;
  std::vector<std::int8_t> cover;
  std::vector<float> out[4];

  Scene() {
    const std::size_t n = static_cast<std::size_t>(kSide) * kSide;
    demFloat.resize(n);
    demDecimetres.resize(n);
    demShort.resize(n);
    trails.resize(n);
    streams.resize(n);
    cover.resize(n);
    for (auto& o : out) o.resize(n);
    for (int r = 0; r < kSide; ++r)
      for (int c = 0; c < kSide; ++c) {
        const std::size_t i = static_cast<std::size_t>(r) * kSide + c;
        // Hills of about 300 m over 1.5 km, with a rough surface of a few metres.
        const double z = 800 + 300 * std::sin(r / 250.0) * std::cos(c / 310.0) + (i * 7919 % 97) / 10.0 +
                         std::sin(r * 0.37 + c * 0.11);
        demFloat[i] = static_cast<float>(z);
        demDecimetres[i] = static_cast<float>(std::round(z * 10) / 10);
        demShort[i] = static_cast<std::int16_t>(std::lround(z));
        if ((r * 31 + c * 17) % 997 == 0) demFloat[i] = demDecimetres[i] = demShort[i] = kNoData;
        trails[i] = (r + c) % 53 == 0 || r % 700 == 3;
        streams[i] = std::abs(c - 2000 - static_cast<int>(400 * std::sin(r / 500.0))) < 2;
        cover[i] = static_cast<std::int8_t>((r / 40 + c / 60) % 10);
      }
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

enum class Dem { Float, Decimetres, Short };

void Kernel(benchmark::State& state, Dem which, bool reference, int threads) {
  Scene& s = TheScene();
  const int type = which == Dem::Short ? 6 : 9;
  const void* dem = which == Dem::Short        ? static_cast<const void*>(s.demShort.data())
                    : which == Dem::Decimetres ? s.demDecimetres.data()
                                               : s.demFloat.data();
  const plenth::EffortGrids grids{s.trails.data(), 0, s.streams.data(), 0, s.cover.data(), kSide, kSide, 30.0f};
  const plenth::EffortOutputs out{s.out[0].data(), s.out[1].data(), s.out[2].data(), s.out[3].data(), -1.0f};
  const plenth::EffortRun run{nullptr, nullptr, threads};
  for (auto _ : state) {
    if (reference)
      plenth::EffortKernelReference(type, dem, kNoData, grids, out, run);
    else
      plenth::EffortKernel(type, dem, kNoData, grids, out, run);
    benchmark::ClobberMemory();
  }
  const std::int64_t cells = static_cast<std::int64_t>(kSide) * kSide;
  state.SetItemsProcessed(state.iterations() * cells);
  state.counters["cells_per_second"] =
      benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FloatReference(benchmark::State& s) { Kernel(s, Dem::Float, true, 1); }
void BM_FloatFast1Thread(benchmark::State& s) { Kernel(s, Dem::Float, false, 1); }
void BM_FloatFast2Threads(benchmark::State& s) { Kernel(s, Dem::Float, false, 2); }
void BM_FloatDecimetresReference(benchmark::State& s) { Kernel(s, Dem::Decimetres, true, 1); }
void BM_FloatDecimetresFast1Thread(benchmark::State& s) { Kernel(s, Dem::Decimetres, false, 1); }
void BM_FloatDecimetresFast2Threads(benchmark::State& s) { Kernel(s, Dem::Decimetres, false, 2); }
void BM_ShortReference(benchmark::State& s) { Kernel(s, Dem::Short, true, 1); }
void BM_ShortFast1Thread(benchmark::State& s) { Kernel(s, Dem::Short, false, 1); }
void BM_ShortFast2Threads(benchmark::State& s) { Kernel(s, Dem::Short, false, 2); }

// Whole seconds per run for the reference: a few iterations are enough.
BENCHMARK(BM_FloatReference)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FloatFast1Thread)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FloatFast2Threads)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FloatDecimetresReference)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FloatDecimetresFast1Thread)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FloatDecimetresFast2Threads)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ShortReference)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ShortFast1Thread)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ShortFast2Threads)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
