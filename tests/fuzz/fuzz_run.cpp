// libFuzzer target for the whole run, in process.
//
// The input is cut at its first 0xFF byte: the bytes before it are the text
// on standard input (the five answers), the bytes after it the content of
// testVals.csv. An input without 0xFF is a run with no testVals.csv at all.
//
// Each run starts from srand(1), glibc's unseeded state, so an input always
// grows the same trees. The run must return 0 and its transcript must end
// with "FINISHED".
//
// Sizes are kept small by rejecting inputs, not by rewriting them: the
// answers are read here exactly as the run reads them, and an input whose
// population size is over 8 or whose tree depth is over 6 returns -1 without
// running, as does one whose test values, once put into a tree of that
// depth, could make an expression over 1 MiB. Such inputs only repeat the
// same code more slowly; the evaluator's own target covers long texts.
//
// The target chdir()s into a scratch directory of its own at its first input,
// so give libFuzzer absolute paths for corpus directories and
// -artifact_prefix.
//
// The run never frees its population (the end of the process reclaims it).
// Here thousands of runs share one process, so the target frees each
// population itself: the link wraps createPop (see CMakeLists.txt) to note
// the records it fills. Leak detection can then stay on.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "driver.hpp"
#include "reader.hpp"
#include "trees.hpp"

namespace {

constexpr int kMaxPopulation = 8;
constexpr int kMaxDepth = 6;
constexpr std::uint64_t kMaxExpression = std::uint64_t{1} << 20;

// Keeps only the last bytes written: enough to see how the transcript ends.
class TailBuffer : public std::streambuf {
 public:
  std::string tail;

 protected:
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      append(std::string(1, traits_type::to_char_type(ch)));
    }
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char* s, std::streamsize count) override {
    const auto n = static_cast<std::size_t>(count);
    append(std::string(s + (n > kKeep ? n - kKeep : 0), std::min(n, kKeep)));
    return count;
  }

 private:
  static constexpr std::size_t kKeep = 32;
  void append(const std::string& text) {
    tail += text;
    if (tail.size() > kKeep) tail.erase(0, tail.size() - kKeep);
  }
};

class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
  std::streamsize xsputn(const char*, std::streamsize count) override {
    return count;
  }
};

void require(bool holds) {
  if (!holds) __builtin_trap();
}

// The records createPop filled during the current run.
std::vector<TIndividual*> filledRecords;

void freeTree(Ttree* node) {
  if (node == nullptr) return;
  freeTree(node->Hi);
  freeTree(node->Hd);
  delete node;
}

void freePopulation() {
  for (TIndividual* record : filledRecords) {
    freeTree(record->tree);
    delete record;
  }
  filledRecords.clear();
}

// A scratch directory that becomes the working directory, so that the run
// finds its testVals.csv there; removed at exit.
class ScratchDir {
 public:
  ScratchDir() {
    char dir[] = "/tmp/fuzz_run.XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) {
      std::perror("fuzz_run scratch directory");
      std::abort();
    }
    dir_ = dir;
  }
  ~ScratchDir() {
    std::remove((dir_ + "/testVals.csv").c_str());
    rmdir(dir_.c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

 private:
  std::string dir_;
};

void writeTestValues(const std::string& content) {
  std::FILE* file = std::fopen("testVals.csv", "wb");
  if (file == nullptr ||
      std::fwrite(content.data(), 1, content.size(), file) != content.size() ||
      std::fclose(file) != 0) {
    std::perror("testVals.csv");
    std::abort();
  }
}

std::uint64_t count(const std::string& text, char ch) {
  return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), ch));
}

// The longest text one letter can become for a triple: a's value has its b
// and c replaced in the later passes, b's value its c.
std::uint64_t longestLetter(const std::string& va, const std::string& vb,
                            const std::string& vc) {
  const std::uint64_t lc = vc.size();
  const std::uint64_t lb = vb.size() + count(vb, 'c') * lc;
  const std::uint64_t la =
      va.size() + count(va, 'b') * lb + count(va, 'c') * lc;
  return std::max({la, lb, lc, std::uint64_t{1}});
}

bool keepsSmall(const std::string& answers, const std::string* content) {
  // The same reads as the run's dialogue.
  std::istringstream in(answers);
  int popSize = 0;
  int genSize = 0;
  float mutRate = 0.0f;
  float crossRate = 0.0f;
  int treeDepth = 0;
  in >> popSize;
  in >> genSize;
  in >> mutRate;
  in >> crossRate;
  in >> treeDepth;
  if (popSize > kMaxPopulation || treeDepth > kMaxDepth) return false;
  if (content == nullptr || popSize <= 0) return true;

  std::istringstream file(*content);
  std::vector<std::string> cells;
  while (file.good()) {
    const std::vector<std::string> line = stream_reader(file);
    cells.insert(cells.end(), line.begin(), line.end());
  }
  const std::uint64_t leaves =
      treeDepth <= 0 ? 1 : std::uint64_t{1} << treeDepth;
  for (std::size_t k = 0; k + 2 < cells.size(); k += 3) {
    const std::uint64_t longest =
        longestLetter(cells[k], cells[k + 1], cells[k + 2]);
    if (leaves * longest + leaves > kMaxExpression) return false;
  }
  return true;
}

}  // namespace

// The link sends the library's calls of createPop (by its mangled name) to
// the wrapper below, and the wrapper's __real_ call to createPop itself. The
// wrapper notes the records so that the target can free them after the run.
extern "C" void __real__Z9createPopPP11TIndividualii(TIndividual** population,
                                                     int popSize,
                                                     int treeDepth);

extern "C" void __wrap__Z9createPopPP11TIndividualii(TIndividual** population,
                                                     int popSize,
                                                     int treeDepth) {
  __real__Z9createPopPP11TIndividualii(population, popSize, treeDepth);
  filledRecords.assign(population, population + std::max(popSize, 0));
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static ScratchDir scratch;
  static std::istringstream standardInput;
  static TailBuffer transcript;
  static NullBuffer diagnostics;

  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = input.find('\xff');
  const std::string answers = input.substr(0, cut);
  const std::string content =
      cut == std::string::npos ? std::string() : input.substr(cut + 1);
  const std::string* file = cut == std::string::npos ? nullptr : &content;
  if (!keepsSmall(answers, file)) return -1;

  if (file != nullptr) {
    writeTestValues(content);
  } else if (std::remove("testVals.csv") != 0 && errno != ENOENT) {
    std::perror("testVals.csv");
    std::abort();
  }

  standardInput.str(answers);
  standardInput.clear();
  std::cin.rdbuf(standardInput.rdbuf());
  std::cin.clear();
  transcript.tail.clear();
  std::cout.rdbuf(&transcript);
  std::cout.clear();
  std::cerr.rdbuf(&diagnostics);
  std::cerr.clear();

  std::srand(1);
  const int status = runApproximator();
  freePopulation();

  require(status == 0);
  const std::string end = "FINISHED\n";
  require(transcript.tail.size() >= end.size() &&
          transcript.tail.compare(transcript.tail.size() - end.size(),
                                  end.size(), end) == 0);
  return 0;
}
