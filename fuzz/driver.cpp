// A libFuzzer driver for one reader (PLENTH_FUZZ_ENTRY names it).
#include "fuzz/targets/fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  plenthfuzz::PLENTH_FUZZ_ENTRY(data, size);
  return 0;
}
