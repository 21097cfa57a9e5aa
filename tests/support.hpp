// Helpers shared by the tests: capturing standard output, scratch
// directories, and running the real executable.
#pragma once

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

// Sends std::cout to a string for the lifetime of the object.
struct CoutCapture {
  std::ostringstream buffer;
  std::streambuf* const saved = std::cout.rdbuf(buffer.rdbuf());
  ~CoutCapture() { std::cout.rdbuf(saved); }
  std::string text() const { return buffer.str(); }
};

// A fresh directory, removed with everything in it at the end of the scope
// (do not copy it).
class ScratchDir {
 public:
  ScratchDir();
  // Never throws: a process the test started may still be removing files.
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& content) const {
    std::ofstream(path_ / name, std::ios::binary) << content;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  std::filesystem::path path_;
};

struct RunResult {
  std::string out, err;
  int status = -1;  // exit status; -1 when a signal ended the shell
};

// Runs a shell command in `dir` and returns its exit status. A child
// process sets `addressSpace` (unless 0) as its RLIMIT_AS before the shell
// starts.
int runShell(const ScratchDir& dir, const std::string& command,
             std::uint64_t addressSpace = 0);

// Runs the built function-approximator in `dir` with `input` on standard
// input. `redirect` replaces the capture of standard output in .stdout when
// given (such as "> /dev/full" or "| head -n 3 > .stdout").
RunResult runProgram(const ScratchDir& dir, const std::string& input,
                     const std::string& redirect = "",
                     std::uint64_t addressSpace = 0);

// A float's bits, so that comparisons are exact (NaN included).
inline auto bitsOf(float value) { return std::bit_cast<std::uint32_t>(value); }
