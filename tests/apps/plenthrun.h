// Runs plenth as a person would from a shell, with its own registry in a temporary
// directory holding the sample data, and tells what it said and how it ended.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace plenthtest {

namespace fs = std::filesystem;

struct Outcome {
  int status;   // the exit status, or -1 when a signal ended the run
  int signal;   // the signal that ended it, or 0
  std::string output;
};

inline std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class PlenthRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plenth-run-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ASSERT_EQ(Run({"sample-data", At("sample")}).status, 0);
    ASSERT_EQ(Run({"register"}).status, 0);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string At(const std::string& name) const { return (dir_ / name).string(); }

  // Runs plenth with the arguments; a file size limit in bytes (0 for none) makes every
  // write past it fail as on a full disk (SIGXFSZ ignored, so the write reports EFBIG).
  Outcome Run(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0, const fs::path& cwd = {}) {
    std::vector<std::string> argv = {PLENTH_BINARY, "--registry", At("registry.reg")};
    argv.insert(argv.end(), args.begin(), args.end());
    int out[2];
    if (::pipe(out) != 0) return {-1, 0, "no pipe"};
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], 1);
      ::dup2(out[1], 2);
      ::close(out[0]);
      ::close(out[1]);
      if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(127);
      if (fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> cargs;
      for (auto& a : argv) cargs.push_back(a.data());
      cargs.push_back(nullptr);
      ::execv(cargs[0], cargs.data());
      ::_exit(127);
    }
    ::close(out[1]);
    Outcome outcome{-1, 0, {}};
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) outcome.output.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    return outcome;
  }

  // The files of the directory whose names start with `prefix`.
  std::vector<std::string> FilesStartingWith(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().rfind(prefix, 0) == 0) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

}  // namespace plenthtest
