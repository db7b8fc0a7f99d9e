// How a long routine tells whoever runs it how far it has got, and learns that it is to
// stop.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace plenth {

// Called as the routine goes with `done` of `total` steps and the text the tool shows for
// the step (its status-bar text), or "" when it shows none. Answering false asks the
// routine to stop: it ends as soon as it can and takes away what it had begun to write.
// An empty one lets the routine run to its end.
using Progress = std::function<bool(std::string_view text, std::int64_t done, std::int64_t total)>;

// Whether the routine may go on: always without a Progress.
inline bool GoOn(const Progress& progress, std::string_view text, std::int64_t done, std::int64_t total) {
  return !progress || progress(text, done, total);
}

}  // namespace plenth
