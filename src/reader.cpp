#include "reader.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "transcript.hpp"

namespace {

// The heap bytes the values hold, counted as they grow.
class ValueMemory {
 public:
  explicit ValueMemory(std::uint64_t limit) : limit_(limit) {}

  // Counts `bytes` more, or throws when they would pass the limit.
  void take(std::uint64_t bytes) {
    if (bytes > limit_ - used_) throw TestValuesTooLarge();
    used_ += bytes;
  }
  void giveBack(std::uint64_t bytes) { used_ -= bytes; }

 private:
  std::uint64_t limit_;
  std::uint64_t used_ = 0;
};

// Gives `buffer` room for `size` elements, doubling it as the standard
// containers do, with the new block counted beside the old one while both
// are held.
template <typename Buffer>
void makeRoom(Buffer& buffer, std::size_t size, ValueMemory& memory) {
  const std::size_t old = buffer.capacity();
  if (size <= old) return;
  const std::size_t room = std::max({size, 2 * old, std::size_t{16}});
  const std::size_t element = sizeof(typename Buffer::value_type);
  memory.take(room * element);
  buffer.reserve(room);
  memory.giveBack(old * element);
}

// std::getline in pieces, so that an endless line (/dev/zero) stops at the
// memory it may take. Leaves the stream in the states std::getline would.
void readLine(std::istream& stream, std::string& line, ValueMemory& memory) {
  line.clear();
  if (!stream.good()) {  // as std::getline's sentry
    stream.setstate(std::ios::failbit);
    return;
  }
  char piece[4096];
  std::size_t extracted = 0;
  while (!stream.bad()) {
    stream.getline(piece, sizeof piece);
    const auto count = static_cast<std::size_t>(stream.gcount());
    extracted += count;
    // The piece filled up before the line feed: the line goes on.
    const bool full = stream.fail() && !stream.eof();
    // A line feed was taken, and counted, but not stored.
    const std::size_t kept = full || stream.eof() ? count : count - 1;
    makeRoom(line, line.size() + kept, memory);
    line.append(piece, kept);
    if (!full) break;
    stream.clear(stream.rdstate() & ~std::ios::failbit);
  }
  if (stream.eof() && extracted > 0) {
    stream.clear(stream.rdstate() & ~std::ios::failbit);
  }
}

// Appends the line's cells: cut at every comma, a trailing comma starting no
// cell.
void appendCells(std::string_view line, std::vector<std::string>& cells,
                 ValueMemory& memory) {
  // Texts up to this length sit inside their string, taking no block.
  static const std::size_t inPlace = std::string().capacity();
  for (std::size_t start = 0; start < line.size();) {
    const std::size_t comma = std::min(line.find(',', start), line.size());
    makeRoom(cells, cells.size() + 1, memory);
    if (comma - start > inPlace) memory.take(comma - start + 1);
    cells.emplace_back(line.substr(start, comma - start));
    start = comma + 1;
  }
}

}  // namespace

TestValuesTooLarge::TestValuesTooLarge()
    : std::runtime_error("the test values need more memory than is available") {
}

std::vector<std::string> readVars(std::string fileName,
                                  std::uint64_t memoryBytes) {
  std::vector<std::string> values;
  std::ifstream file;
  // A directory opens as a stream but yields nothing: treat it as unopenable.
  std::error_code ignored;
  if (!std::filesystem::is_directory(fileName, ignored)) {
    file.open(fileName);
  }
  if (!file.is_open()) {
    writeLine("Unable to open file: ", fileName);
    return values;
  }
  ValueMemory memory(memoryBytes);
  std::string line;
  while (file.good()) {
    readLine(file, line, memory);
    appendCells(line, values, memory);
  }
  return values;
}

std::vector<std::string> stream_reader(std::istream& stream) {
  ValueMemory unlimited(UINT64_MAX);
  std::string line;
  readLine(stream, line, unlimited);
  std::vector<std::string> cells;
  appendCells(line, cells, unlimited);
  return cells;
}
