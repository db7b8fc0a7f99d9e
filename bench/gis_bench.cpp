// The data library's hot paths: whole-band cell reads and writes, polygon containment
// for many points and identify at a point.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "com/classes.h"
#include "gis/gis.h"

namespace {

namespace fs = std::filesystem;

// A FLOAT raster of n x n cells in a scratch directory, removed at the end.
class Grid {
 public:
  explicit Grid(LONG n) : dir_(fs::temp_directory_path() / ("plenth-gis-bench-" + std::to_string(::getpid()))) {
    gis::Initialize();
    fs::create_directories(dir_);
    auto factory = com::CreateInstance<WorkspaceFactory>(CLSID_RasterWorkspaceFactory);
    com::ComPtr<Workspace> ws;
    Check(factory->OpenFromFile(com::BStr(dir_.string()).get(), 0, ws.put()), "open the scratch directory");
    Check(ws.query<RasterWorkspace>()->CreateRasterDataset(
              com::BStr("grid" + std::to_string(n)).get(), com::BStr("GRID").get(), gis::MakePoint(0, 0).get(), n, n,
              1, 1, 1, PT_FLOAT, nullptr, VARIANT_TRUE, dataset.put()),
          "create the raster");
    Check(dataset.query<RasterBandCollection>()->Item(0, band.put()), "take its band");
    raw = band.query<RawPixels>();
    Check(raw->CreatePixelBlock(gis::MakeXYPair(n, n).get(), block.put()), "create the block");
    com::ComPtr<CellArray> cells;
    void* data = nullptr;
    Check(block->GetPlane(0, cells.put()), "take the cells");
    Check(cells->Data(&data), "take the cells");
    auto* f = static_cast<float*>(data);
    for (LONG i = 0; i < n * n; ++i) f[i] = static_cast<float>(i % 997);
    Check(raw->Write(gis::MakeXYPair(0, 0).get(), block.get()), "write the cells");
  }
  // A benchmark on a raster that could not be made measures nothing: stop at once.
  static void Check(HRESULT hr, const char* step) {
    if (FAILED(hr)) {
      std::fprintf(stderr, "bench_gis: could not %s (0x%08X)\n", step, static_cast<unsigned>(hr));
      std::exit(1);
    }
  }
  ~Grid() {
    block.reset();
    raw.reset();
    band.reset();
    dataset.reset();
    fs::remove_all(dir_);
  }
  fs::path dir_;
  com::ComPtr<RasterDataset> dataset;
  com::ComPtr<RasterBand> band;
  com::ComPtr<RawPixels> raw;
  com::ComPtr<PixelBlock> block;
};

void BM_ReadWholeBand(benchmark::State& state) {
  const auto n = static_cast<LONG>(state.range(0));
  Grid grid(n);
  auto origin = gis::MakeXYPair(0, 0);
  for (auto _ : state)
    if (FAILED(grid.raw->Read(origin.get(), grid.block.get()))) state.SkipWithError("the read failed");
  state.SetBytesProcessed(state.iterations() * n * n * 4);
}
BENCHMARK(BM_ReadWholeBand)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_WriteWholeBand(benchmark::State& state) {
  const auto n = static_cast<LONG>(state.range(0));
  Grid grid(n);
  auto origin = gis::MakeXYPair(0, 0);
  for (auto _ : state) {
    com::ComPtr<IUnknown> cache;
    if (FAILED(grid.raw->Write(origin.get(), grid.block.get())) || FAILED(grid.raw->AcquireCache(cache.put())) ||
        FAILED(grid.raw->ReturnCache(cache.get())))  // the cells reach the file
      state.SkipWithError("the write failed");
  }
  state.SetBytesProcessed(state.iterations() * n * n * 4);
}
BENCHMARK(BM_WriteWholeBand)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

// A ring of 1000 vertices with a hole, tested against the centres of a 100 x 100 grid
// of cells, as a polygon's statistics are gathered.
void BM_PolygonContains(benchmark::State& state) {
  gis::Initialize();
  std::string wkt = "POLYGON ((";
  for (int i = 0; i <= 1000; ++i) {
    const double a = 2 * M_PI * (i % 1000) / 1000;
    wkt.append(i ? "," : "").append(std::to_string(50 + 50 * std::cos(a))).append(" ");
    wkt.append(std::to_string(50 + 50 * std::sin(a)));
  }
  wkt += "),(40 40,60 40,60 60,40 60,40 40))";
  auto polygon = gis::GeometryFromWkt(wkt).query<Polygon>();
  auto point = gis::MakePoint(0, 0);
  long inside = 0;
  for (auto _ : state) {
    for (int r = 0; r < 100; ++r) {
      for (int c = 0; c < 100; ++c) {
        point->PutCoords(c + 0.5, r + 0.5);
        VARIANT_BOOL contains = VARIANT_FALSE;
        polygon->Contains(point.get(), &contains);
        inside += contains == VARIANT_TRUE;
      }
    }
  }
  benchmark::DoNotOptimize(inside);
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_PolygonContains)->Unit(benchmark::kMillisecond);

void BM_IdentifyRaster(benchmark::State& state) {
  Grid grid(1000);
  auto point = gis::MakePoint(0, 0);
  long i = 0;
  for (auto _ : state) {
    point->PutCoords(static_cast<double>(i % 1000) + 0.5, static_cast<double>((i * 7) % 1000) + 0.5);
    ++i;
    com::ComPtr<IdentifyResults> results;
    benchmark::DoNotOptimize(gis::IdentifyRaster(grid.dataset.get(), point.get(), results.put()));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdentifyRaster);

}  // namespace

BENCHMARK_MAIN();
