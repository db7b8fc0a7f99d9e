// Writing and reading grid text files of FLOAT and SHORT cells.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/gridfile.h"
#include "data/gridfilenumbers.h"
#include "platform/gis/pixeltype.h"

namespace {

constexpr int kColumns = 2000;
constexpr int kRows = 1000;

std::string FilePath(int type) { return "/tmp/plenth-bench-" + std::to_string(::getpid()) + "-" + std::to_string(type) + ".dat"; }

template <class T>
std::vector<T> Cells() {
  std::vector<T> cells(static_cast<std::size_t>(kColumns) * kRows);
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<T>((i * 7919) % 30011) / static_cast<T>(7) - 1000;
  return cells;
}

template <class T>
std::int64_t WriteFile(int type, const std::vector<T>& cells) {
  plenth::GridWriter w;
  w.Open(FilePath(type));
  plenth::WriteGridHeader(w, {kColumns, kRows, 30, 500000, 4100000, type, -9999});
  for (int r = 0; r < kRows; ++r) plenth::WriteGridRow(w, type, cells.data() + static_cast<std::size_t>(r) * kColumns, kColumns);
  w.Close();
  std::FILE* f = std::fopen(FilePath(type).c_str(), "rb");
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fclose(f);
  return size;
}

template <class T>
void Write(benchmark::State& state, int type) {
  const auto cells = Cells<T>();
  std::int64_t bytes = 0;
  for (auto _ : state) bytes = WriteFile(type, cells);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells.size()));
  state.SetBytesProcessed(state.iterations() * bytes);
  std::remove(FilePath(type).c_str());
}

template <class T>
void Read(benchmark::State& state, int type) {
  const auto cells = Cells<T>();
  const std::int64_t bytes = WriteFile(type, cells);
  std::vector<T> back(cells.size());
  for (auto _ : state) {
    plenth::GridReader r;
    r.Open(FilePath(type));
    plenth::GridHeader h;
    plenth::ReadGridHeader(r, &h);
    benchmark::DoNotOptimize(plenth::ReadGridValues(r, type, back.data(), back.size()));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells.size()));
  state.SetBytesProcessed(state.iterations() * bytes);
  std::remove(FilePath(type).c_str());
}

// The value tokens of a strip's cells formatted into memory, no file: cells per second.
template <class T>
void Format(benchmark::State& state, int type) {
  const auto cells = Cells<T>();
  std::vector<char> text(cells.size() * plenth::GridTokenChars(type));
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = static_cast<std::size_t>(plenth::FormatGridValues(text.data(), type, cells.data(), cells.size()) - text.data());
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

// The same tokens read back from memory into cells: cells per second.
template <class T>
void Parse(benchmark::State& state, int type) {
  const auto cells = Cells<T>();
  std::vector<char> text(cells.size() * plenth::GridTokenChars(type));
  const char* end = plenth::FormatGridValues(text.data(), type, cells.data(), cells.size());
  std::vector<T> back(cells.size());
  for (auto _ : state) {
    const auto run = plenth::ParseGridValues(text.data(), end, true, type, back.data(), back.size());
    benchmark::DoNotOptimize(run.values);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells.size()));
  state.SetBytesProcessed(state.iterations() * (end - text.data()));
}

// A plain copy of as many bytes as the FLOAT or SHORT tokens take: the memory's own pace.
void Memcpy(benchmark::State& state, int type) {
  const auto cells = Cells<float>();
  std::vector<char> tokens(cells.size() * plenth::GridTokenChars(type));
  const std::size_t bytes = static_cast<std::size_t>(
      type == PT_FLOAT ? plenth::FormatGridValues(tokens.data(), PT_FLOAT, cells.data(), cells.size()) - tokens.data()
                : plenth::FormatGridValues(tokens.data(), PT_SHORT, Cells<std::int16_t>().data(), cells.size()) - tokens.data());
  std::vector<char> copy(bytes);
  for (auto _ : state) {
    std::memcpy(copy.data(), tokens.data(), bytes);
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cells.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

void FormatFloat(benchmark::State& s) { Format<float>(s, PT_FLOAT); }
void FormatDouble(benchmark::State& s) { Format<double>(s, PT_DOUBLE); }
void FormatShort(benchmark::State& s) { Format<std::int16_t>(s, PT_SHORT); }
void ParseFloat(benchmark::State& s) { Parse<float>(s, PT_FLOAT); }
void ParseDouble(benchmark::State& s) { Parse<double>(s, PT_DOUBLE); }
void ParseShort(benchmark::State& s) { Parse<std::int16_t>(s, PT_SHORT); }
void MemcpyFloatTokens(benchmark::State& s) { Memcpy(s, PT_FLOAT); }
void MemcpyShortTokens(benchmark::State& s) { Memcpy(s, PT_SHORT); }

BENCHMARK(FormatFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(FormatDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(FormatShort)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseDouble)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseShort)->Unit(benchmark::kMillisecond);
BENCHMARK(MemcpyFloatTokens)->Unit(benchmark::kMillisecond);
BENCHMARK(MemcpyShortTokens)->Unit(benchmark::kMillisecond);

void WriteFloat(benchmark::State& s) { Write<float>(s, PT_FLOAT); }
void WriteShort(benchmark::State& s) { Write<std::int16_t>(s, PT_SHORT); }
void ReadFloat(benchmark::State& s) { Read<float>(s, PT_FLOAT); }
void ReadShort(benchmark::State& s) { Read<std::int16_t>(s, PT_SHORT); }

BENCHMARK(WriteFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteShort)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadFloat)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadShort)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
