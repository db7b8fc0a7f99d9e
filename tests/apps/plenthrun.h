// Runs plenth as a person would from a shell, with its own registry in a temporary
// directory holding the sample data, and tells what it said and how it ended.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
  bool timedOut = false;  // still running at the time limit, and killed
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
  // A run still going after kTimeLimit is killed with everything it started, so that a
  // hang fails its own case instead of stalling the suite.
  Outcome Run(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0, const fs::path& cwd = {}) {
    std::vector<std::string> argv = {PLENTH_BINARY, "--registry", At("registry.reg")};
    argv.insert(argv.end(), args.begin(), args.end());
    int out[2];
    if (::pipe(out) != 0) return {-1, 0, "no pipe"};
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setpgid(0, 0);
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
    ::setpgid(pid, pid);
    ::close(out[1]);
    Outcome outcome{-1, 0, {}};
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    char buffer[4096];
    while (true) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      pollfd readable{out[0], POLLIN, 0};
      const int ready = left > 0 ? ::poll(&readable, 1, static_cast<int>(left)) : 0;
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) {
        outcome.timedOut = true;
        ::kill(-pid, SIGKILL);
        break;
      }
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      // A run that talks without end keeps only its first words.
      if (outcome.output.size() < kOutputKept) outcome.output.append(buffer, n);
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (outcome.timedOut) outcome.output += "\n(killed: still running after " + std::to_string(kTimeLimit.count()) + " s)";
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

  static constexpr std::chrono::seconds kTimeLimit{60};
  static constexpr std::size_t kOutputKept = 64 * 1024;
  fs::path dir_;
};

}  // namespace plenthtest
