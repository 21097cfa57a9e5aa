// Helpers shared by the tests: capturing standard output, scratch
// directories, and running the real executable.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "trees.hpp"

// Sends std::cout to a string for the lifetime of the object.
class CoutCapture {
 public:
  CoutCapture() : saved_(std::cout.rdbuf(buffer_.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(saved_); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  std::string text() const { return buffer_.str(); }

 private:
  std::ostringstream buffer_;
  std::streambuf* saved_;
};

// A fresh directory, removed with everything in it at the end of the scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // exit status, or 128 + signal number
};

// Runs a shell command in `dir`; returns its exit status (the shell gives
// 128 + the signal number for a command a signal ended).
int runShell(const ScratchDir& dir, const std::string& command);

// Runs the built function-approximator in `dir` with `input` on standard
// input. `redirect` replaces the capture of standard output in .stdout when
// given (such as "> /dev/full" or "| head -n 3 > .stdout").
RunResult runProgram(const ScratchDir& dir, const std::string& input,
                     const std::string& redirect = "");

// A record holding `tree`, its other fields zero.
inline TIndividual individual(Ttree* tree) {
  TIndividual record{};
  record.tree = tree;
  return record;
}

// Reinterprets a float's bits, so that comparisons are exact (NaN included).
std::uint32_t bitsOf(float value);

// glibc's rand() from its unseeded start.
inline constexpr unsigned kUnseededDraws[] = {
    1804289383, 846930886,  1681692777, 1714636915, 1957747793, 424238335,
    719885386,  1649760492, 596516649,  1189641421, 1025202362, 1350490027,
    783368690,  1102520059, 2044897763, 1967513926, 1365180540, 1540383426,
    304089172,  1303455736, 35005211,   521595368,  294702567,  1726956429,
    336465782,  861021530,  278722862,  233665123,  2145174067, 468703135,
    1101513929, 1801979802, 1315634022, 635723058,  1369133069, 1125898167,
    1059961393, 2089018456, 628175011,  1656478042, 1131176229, 1653377373,
    859484421,  1914544919, 608413784,  756898537,  1734575198, 1973594324};
