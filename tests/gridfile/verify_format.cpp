// Checks the grid format's "%0.6e" writer against snprintf on every single-precision
// value, on random doubles, and on the doubles on and around rounding ties; prints the
// count of differences (and the first few) and exits with 1 when there is any.
// One thread, meant to run for a long while at low priority: `make verify-format`.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/gridfile/formatcheck.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void Report(const char* what, const formatcheck::Tally& t, double seconds) {
  std::printf("%-58s %13llu values %6llu differences %9.1f s\n", what, static_cast<unsigned long long>(t.compared),
              static_cast<unsigned long long>(t.differences), seconds);
  for (const auto& d : t.firstDifferences) std::printf("    %s\n", d.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // An optional factor below 1 makes a shorter run of the same families (for a try).
  const double share = argc > 1 ? std::atof(argv[1]) : 1.0;
  const auto scaled = [share](double n) { return static_cast<std::uint64_t>(n * share); };
  const auto start = std::chrono::steady_clock::now();
  formatcheck::Tally all;

  const auto run = [&](const char* what, auto&& check) {
    const auto begin = std::chrono::steady_clock::now();
    formatcheck::Tally t;
    check(t);
    Report(what, t, Seconds(begin));
    all.Add(t);
  };
  run("every single-precision bit pattern, widened", [&](formatcheck::Tally& t) {
    formatcheck::CheckFloatPatterns(0, share >= 1 ? 1 : static_cast<std::uint64_t>(1 / share), t);
  });
  run("random double bit patterns", [&](formatcheck::Tally& t) { formatcheck::CheckRandomDoubles(scaled(6e8), 20261210, t); });
  run("doubles nearest a seven-digit midpoint, and neighbours", [&](formatcheck::Tally& t) {
    formatcheck::CheckNearTies(scaled(1.5e8), 8675309, t);
  });
  run("doubles exactly on a tie, and neighbours", [&](formatcheck::Tally& t) {
    formatcheck::CheckExactTies(share >= 1 ? 1 : static_cast<std::uint64_t>(1 / share), t);
  });
  Report("all", all, Seconds(start));
  return all.differences ? 1 : 0;
}
