// libFuzzer target for the test-value reader.
//
// The input is the content of a test-value file. It is read line by line
// with stream_reader from a string stream, in the loop readVars uses, and,
// for a share of the inputs, through readVars from a real file. Both must
// give the cells of a plain model of the file's rules; a difference traps.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "reader.hpp"

namespace {

using Cells = std::vector<std::string>;

// Counts what is written to it: readVars must write nothing for a file it
// can open.
class CountingBuffer : public std::streambuf {
 public:
  std::size_t written = 0;

 protected:
  int_type overflow(int_type ch) override {
    ++written;
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char*, std::streamsize count) override {
    written += static_cast<std::size_t>(count);
    return count;
  }
};

void require(bool holds) {
  if (!holds) __builtin_trap();
}

// The file's rules: lines end at '\n' (a final '\n' starts no further line);
// a line's cells are cut at every ',', kept verbatim; a trailing comma starts
// no cell after it, though ",," leaves one empty cell; an empty line has no
// cells.
Cells modelCells(const std::string& content) {
  Cells cells;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    const std::string line = content.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    Cells split;
    std::size_t from = 0;
    for (std::size_t comma; (comma = line.find(',', from)) != std::string::npos;
         from = comma + 1) {
      split.push_back(line.substr(from, comma - from));
    }
    split.push_back(line.substr(from));
    if (line.back() == ',') split.pop_back();
    cells.insert(cells.end(), split.begin(), split.end());
  }
  return cells;
}

// readVars's loop, over any stream.
Cells readStream(std::istream& stream) {
  Cells values;
  while (stream.good()) {
    const Cells cells = stream_reader(stream);
    values.insert(values.end(), cells.begin(), cells.end());
  }
  return values;
}

// A file in a directory of its own, made once per process, rewritten for
// each input that goes through readVars, and removed at exit.
class ScratchFile {
 public:
  ScratchFile() {
    char dir[] = "/tmp/fuzz_reader.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    dir_ = dir;
    path_ = dir_ + "/testVals.csv";
  }
  ~ScratchFile() {
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string dir_;
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const Cells expected = modelCells(content);

  std::istringstream stream(content);
  require(readStream(stream) == expected);

  // A real file costs a write and a read of the disk: one input in four,
  // picked by its content so that a crash reproduces.
  if (size % 4 != 0) return 0;
  static const ScratchFile scratch;
  const std::string& path = scratch.path();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size ||
      std::fclose(file) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
  static CountingBuffer sink;
  sink.written = 0;
  std::cout.rdbuf(&sink);
  std::cout.clear();
  require(readVars(path) == expected);
  require(sink.written == 0);
  return 0;
}
