// The commands when the machine fails them: the disk fills while they write, the output
// directory cannot be written. Each must say so, end with a failure status and leave
// nothing that looks like a finished output, nor lose what the user had.
#include <linux/fs.h>
#include <sys/ioctl.h>

#include "tests/apps/plenthrun.h"

namespace {

using plenthtest::Bytes;
namespace fs = std::filesystem;

class FaultsTest : public plenthtest::PlenthRun {};

TEST_F(FaultsTest, AFullDiskFailsTheWriteAndLeavesNoOutputThatLooksDone) {
  ASSERT_EQ(Run({"export-grid", At("sample/dem.tif"), At("dem")}).status, 0);  // the import's input
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* output;  // the output's file name
    rlim_t limit;
    const char* says = "shit";
  } cases[] = {
      {"export, the disk full within the header", {"export-grid", At("sample/dem.tif"), At("full")}, "full.dat", 100},
      {"export, the disk full within the values", {"export-grid", At("sample/dem.tif"), At("full")}, "full.dat", 200000},
      {"import, the disk full early", {"import-grid", At("dem.dat"), At("back")}, "back.tif", 100},
      {"import, the disk full late", {"import-grid", At("dem.dat"), At("back")}, "back.tif", 200000},
      {"effort surface",
       {"effort-surface", "--dem", At("sample/dem.tif"), "--trails", At("sample/trails.tif"), "--roads",
        At("sample/trails.tif"), "--streams", At("sample/streams.tif"), "--cover", At("sample/groundcover.tif"),
        At("surface")},
       "surface.tif", 100000, "the effort surface was not written: Unable to write Raster dataset"},
      {"line orientation", {"line-orientation", At("sample/roads.shp"), At("segs")}, "segs.shp", 300,
       "not written whole"},
      {"point grid", {"point-grid", At("grid"), "--west", "500000", "--east", "509000", "--north", "4107200", "--south",
                      "4100000", "--spacing", "500"},
       "grid.shp", 2000, "not written whole"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto out = Run(c.args, c.limit);
    EXPECT_EQ(out.signal, 0) << out.output;
    EXPECT_EQ(out.status, 1) << out.output;
    EXPECT_NE(out.output.find(c.says), std::string::npos) << out.output;
    EXPECT_FALSE(fs::exists(At(c.output))) << out.output;
    EXPECT_EQ(FilesStartingWith(fs::path(c.output).stem().string()), std::vector<std::string>{}) << out.output;
  }
}

TEST_F(FaultsTest, AFullDiskLeavesTheFileAnEarlierExportWroteAsItWas) {
  ASSERT_EQ(Run({"export-grid", At("sample/trails.tif"), At("elev")}).status, 0);
  const std::string before = Bytes(At("elev.dat"));
  const auto out = Run({"export-grid", At("sample/dem.tif"), At("elev")}, before.size() / 2);
  EXPECT_EQ(out.status, 1) << out.output;
  EXPECT_EQ(Bytes(At("elev.dat")), before);
  EXPECT_EQ(FilesStartingWith("elev"), std::vector<std::string>{"elev.dat"});
}

// Makes a directory unwritable for as long as it lives: by its permission bits, or, for
// root, whom those do not stop, by the file system's immutable flag. Unwritable() says
// whether either took hold.
class UnwritableDirectory {
 public:
  explicit UnwritableDirectory(const fs::path& dir) : dir_(dir) {
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    if (::access(dir_.c_str(), W_OK) == 0) SetImmutable(true);
  }
  ~UnwritableDirectory() {
    if (immutable_) SetImmutable(false);
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::replace);
  }
  bool Unwritable() const {
    const fs::path probe = dir_ / ".probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT, 0644);
    if (fd < 0) return true;
    ::close(fd);
    ::unlink(probe.c_str());
    return false;
  }

 private:
  void SetImmutable(bool on) {
    const int fd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      immutable_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 && on;
    }
    ::close(fd);
  }
  fs::path dir_;
  bool immutable_ = false;
};

TEST_F(FaultsTest, AnOutputDirectoryThatCannotBeWrittenIsSaidSo) {
  ASSERT_EQ(Run({"export-grid", At("sample/dem.tif"), At("dem")}).status, 0);
  fs::create_directories(At("locked"));
  const struct {
    const char* what;
    std::vector<std::string> args;
  } cases[] = {
      {"export", {"export-grid", At("sample/dem.tif"), At("locked/dem")}},
      {"import", {"import-grid", At("dem.dat"), At("locked/back")}},
      {"effort surface",
       {"effort-surface", "--dem", At("sample/dem.tif"), "--trails", At("sample/trails.tif"), "--roads",
        At("sample/trails.tif"), "--streams", At("sample/streams.tif"), "--cover", At("sample/groundcover.tif"),
        At("locked/surface")}},
      {"line orientation", {"line-orientation", At("sample/roads.shp"), At("locked/segs")}},
      {"point grid", {"point-grid", At("locked/grid"), "--west", "500000", "--east", "509000", "--north", "4107200",
                      "--south", "4100000", "--spacing", "500"}},
  };
  UnwritableDirectory locked(At("locked"));
  if (!locked.Unwritable())
    GTEST_SKIP() << "neither permission bits nor the immutable flag stop this user writing " << At("locked");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto out = Run(c.args);
    EXPECT_EQ(out.status, 1) << out.output;
    EXPECT_NE(out.output.find("is not writable"), std::string::npos) << out.output;
    EXPECT_TRUE(fs::is_empty(At("locked")));
  }
}

}  // namespace
