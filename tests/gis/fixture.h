// A temporary directory for the data library's tests, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "com/classes.h"
#include "gis/gis.h"

namespace gistest {

// Makes a directory the current one for as long as it lives.
class InDirectory {
 public:
  explicit InDirectory(const std::filesystem::path& dir) : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(before_); }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;

 private:
  std::filesystem::path before_;
};

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    gis::Initialize();
    dir_ = std::filesystem::temp_directory_path() /
           ("plenth-gis-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  template <class T>
  com::ComPtr<T> OpenWorkspace(const CLSID& factoryId, const std::string& dir, HRESULT* hr = nullptr) {
    auto factory = com::CreateInstance<WorkspaceFactory>(factoryId);
    com::ComPtr<Workspace> ws;
    const HRESULT r = factory->OpenFromFile(com::BStr(dir).get(), 0, ws.put());
    if (hr) *hr = r;
    return ws.template query<T>();
  }
  std::filesystem::path dir_;
};

}  // namespace gistest
