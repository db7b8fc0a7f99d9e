// Large buffers on huge pages, where the kernel offers them.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace gis {

// Asks the kernel to back the untouched pages of a large buffer with huge pages: the first
// write to them then costs a page fault per 2 MB rather than one per 4 KB (which, on a
// virtual machine, can cost more than computing or reading the cells). A hint: where the
// kernel declines, small pages.
inline void AdviseHugePages(void* start, std::size_t bytes) {
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const auto from = (reinterpret_cast<std::uintptr_t>(start) + kHuge - 1) & ~(kHuge - 1);
  const auto to = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kHuge - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

}  // namespace gis
