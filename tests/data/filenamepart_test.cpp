#include <gtest/gtest.h>

#include "data/filenamepart.h"

namespace {

TEST(FileNamePart, SplitsAfterTheLastSeparatorOfAnyKind) {
  const struct {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\data\\elev.dat", "elev.dat"}, {"elev.dat", "elev.dat"}, {"C:elev", "elev"},
      {"out/elev", "elev"},               {"/tmp/a\\b:c/d", "d"},   {"dir/", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string_view path(c.path);
    EXPECT_EQ(path.substr(plenth::FileNamePart(path)), c.name);
  }
}

}  // namespace
