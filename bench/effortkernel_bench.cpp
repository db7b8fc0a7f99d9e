// The effort cost kernel on a 4000 x 4000 grid: the plain reference, and the fast kernel
// on one and on two threads, for a FLOAT and a SHORT DEM.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/effortsurface/effortkernel.h"
#include "tools/effortsurface/effortkernelref.h"

namespace {

constexpr int kSide = 4000;

struct Scene {
  std::vector<float> demFloat;
  std::vector<std::int16_t> demShort;
  std::vector<std::uint8_t> trails, streams;
  std::vector<std::int8_t> cover;
  std::vector<float> out[4];

  Scene() {
    const std::size_t n = static_cast<std::size_t>(kSide) * kSide;
    demFloat.resize(n);
    demShort.resize(n);
    trails.resize(n);
    streams.resize(n);
    cover.resize(n);
    for (auto& o : out) o.resize(n);
    for (int r = 0; r < kSide; ++r)
      for (int c = 0; c < kSide; ++c) {
        const std::size_t i = static_cast<std::size_t>(r) * kSide + c;
        const double z = 800 + 300 * std::sin(r / 250.0) * std::cos(c / 310.0) + (i * 7919 % 97) / 10.0;
        demFloat[i] = static_cast<float>(z);
        demShort[i] = static_cast<std::int16_t>(z);
        trails[i] = (r + c) % 53 == 0;
        streams[i] = c % 401 == 0;
        cover[i] = static_cast<std::int8_t>((r / 40 + c / 60) % 10);
      }
  }
};

Scene& TheScene() {
  static Scene scene;
  return scene;
}

void Kernel(benchmark::State& state, int type, bool reference, int threads) {
  Scene& s = TheScene();
  const void* dem = type == 9 ? static_cast<const void*>(s.demFloat.data()) : s.demShort.data();
  const plenth::EffortInputs in{dem, -9999, s.trails.data(), 0, s.streams.data(), 0, s.cover.data(), kSide, kSide, 30.0f};
  const plenth::EffortOutputs out{s.out[0].data(), s.out[1].data(), s.out[2].data(), s.out[3].data(), -1.0f};
  for (auto _ : state) {
    if (reference)
      plenth::EffortKernelReference(type, in, out, nullptr, nullptr);
    else
      plenth::EffortKernel(type, in, out, nullptr, nullptr, threads);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSide) * kSide);
}

void FloatReference(benchmark::State& s) { Kernel(s, 9, true, 1); }
void FloatOneThread(benchmark::State& s) { Kernel(s, 9, false, 1); }
void FloatTwoThreads(benchmark::State& s) { Kernel(s, 9, false, 2); }
void ShortReference(benchmark::State& s) { Kernel(s, 6, true, 1); }
void ShortOneThread(benchmark::State& s) { Kernel(s, 6, false, 1); }
void ShortTwoThreads(benchmark::State& s) { Kernel(s, 6, false, 2); }

BENCHMARK(FloatReference)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(FloatOneThread)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(FloatTwoThreads)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(ShortReference)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(ShortOneThread)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(ShortTwoThreads)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
