#include "reader.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>
#include <utility>

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

bool isDigit(char ch) { return std::isdigit(static_cast<unsigned char>(ch)); }

// The first blank, semicolon or tab between two numbers on the line (a
// semicolon or tab rather than the blanks beside it); 0 for none.
char numberGap(std::string_view line) {
  bool afterNumber = false;
  char gap = 0;
  for (const char ch : line) {
    if (ch == ' ' || ch == ';' || ch == '\t') {
      if (afterNumber && (gap == 0 || gap == ' ')) gap = ch;
      continue;
    }
    const bool startsNumber =
        isDigit(ch) || ch == '.' || ch == '-' || ch == '+';
    if (gap != 0 && startsNumber) return gap;
    gap = 0;
    afterNumber = isDigit(ch) || ch == '.';
  }
  return 0;
}

// Adds a line that held `cells` values to the layout.
void observeLine(std::string_view line, std::size_t cells,
                 ValueLayout& layout) {
  if (cells == 0) return;
  layout.perLine = layout.lines == 0 || cells == layout.perLine ? cells : 0;
  ++layout.lines;
  if (line.find(',') != std::string_view::npos) {
    layout.comma = true;
  } else if (layout.gap == 0) {
    layout.gap = numberGap(line);
  }
}

void note(const std::string& kind, const std::string& text) {
  std::cerr << "function-approximator: " << kind << ": " << text << std::endl;
}

// Whether atof reads the whole text as a number: blanks and a carriage
// return around it are allowed, as atof skips or stops at them.
bool isNumberText(const std::string& text) {
  const char* const begin = text.c_str();
  char* stop = nullptr;
  std::strtod(begin, &stop);
  const char* const end = stop;
  if (end == begin) return false;
  return std::all_of(end, begin + text.size(), [](char ch) {
    return std::isspace(static_cast<unsigned char>(ch)) != 0;
  });
}

// A cell as a note shows it: in quotes, control characters escaped, cut
// after 40 characters.
std::string quotedCell(const std::string& cell) {
  std::string text = "\"";
  for (std::size_t i = 0; i < cell.size() && i < 40; ++i) {
    const unsigned char ch = static_cast<unsigned char>(cell[i]);
    if (ch == '\r') {
      text += "\\r";
    } else if (ch == '\t') {
      text += "\\t";
    } else if (ch < ' ' || ch == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", ch);
      text += escaped;
    } else {
      if (ch == '"' || ch == '\\') text += '\\';
      text += static_cast<char>(ch);
    }
  }
  return text + (cell.size() > 40 ? "\"..." : "\"");
}

std::string counted(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + (count == 1 ? one : many);
}

// How the lines held the values, when that is not plain comma-separated
// triples: no comma at all, or lines that each cut a triple.
void noteLayout(const ValueLayout& layout, const std::string& fileName) {
  static const char* const gapNames[] = {"blanks", "semicolons", "tabs"};
  if (!layout.comma && layout.gap != 0) {
    const char* const gap = gapNames[layout.gap == ' '   ? 0
                                     : layout.gap == ';' ? 1
                                                         : 2];
    note("note", fileName + " has no comma but numbers separated by " + gap +
                     ": values are separated by commas, as in 1,2,3");
  } else if (layout.lines > 1 && layout.perLine % 3 != 0) {
    note("note", fileName + " holds " +
                     counted(layout.perLine, " value", " values") +
                     " on each of its " + std::to_string(layout.lines) +
                     " lines; triples are taken across lines, three values "
                     "at a time");
  }
}

// The full triples' values that are not numbers: how many, and the first.
void noteTextValues(const std::vector<std::string>& values, std::size_t used,
                    const std::string& fileName) {
  std::size_t count = 0;
  const std::string* first = nullptr;
  for (std::size_t k = 0; k < used; ++k) {
    if (isNumberText(values[k])) continue;
    if (first == nullptr) first = &values[k];
    ++count;
  }
  if (count == 0) return;
  note("note", fileName + " holds " +
                   counted(count, " value that is not a number: ",
                           " values that are not numbers, the first ") +
                   quotedCell(*first));
}

// Triples whose a is not above 0, as the cost reads it: the evolution,
// which seeks the lowest cost, then finds no bottom.
void noteUnboundedCosts(const std::vector<std::string>& values,
                        std::size_t used) {
  std::size_t count = 0;
  std::size_t first = 0;
  for (std::size_t k = 0; k < used; k += 3) {
    if (std::atof(values[k].c_str()) > 0.0) continue;
    if (count++ == 0) first = k;
  }
  if (count == 0) return;
  note("note", counted(count, " test triple has", " test triples have") +
                   " an a not above 0, the first Var[" + std::to_string(first) +
                   "] with a " + quotedCell(values[first]) +
                   ": the cost has no lower bound, and the evolution can run "
                   "it towards minus infinity");
}

}  // namespace

TestValuesTooLarge::TestValuesTooLarge()
    : std::runtime_error("the test values need more memory than is available") {
}

std::vector<std::string> readVars(std::string fileName,
                                  std::uint64_t memoryBytes) {
  TestValues read = readTestValues(fileName, memoryBytes);
  if (read.openError != 0) writeLine("Unable to open file: ", fileName);
  return std::move(read.values);
}

TestValues readTestValues(const std::string& fileName,
                          std::uint64_t memoryBytes) {
  TestValues read;
  std::ifstream file;
  // A directory opens as a stream but yields nothing: treat it as unopenable.
  std::error_code ignored;
  if (std::filesystem::is_directory(fileName, ignored)) {
    errno = EISDIR;
  } else {
    errno = 0;
    file.open(fileName);
  }
  if (!file.is_open()) {
    read.openError = errno != 0 ? errno : EIO;
    return read;
  }
  ValueMemory memory(memoryBytes);
  std::string line;
  while (file.good()) {
    readLine(file, line, memory);
    const std::size_t before = read.values.size();
    appendCells(line, read.values, memory);
    observeLine(line, read.values.size() - before, read.layout);
  }
  return read;
}

void noteTestValues(const TestValues& read, const std::string& fileName,
                    bool evolving) {
  const std::vector<std::string>& values = read.values;
  if (read.openError != 0) {
    note("warning", "cannot open " + fileName + ": " +
                        std::strerror(read.openError) +
                        "; the run has no test values");
  }
  const std::size_t used = values.size() / 3 * 3;
  if (const std::size_t extra = values.size() - used; extra != 0) {
    note("warning",
         fileName + " holds " + counted(values.size(), " value", " values") +
             ", not a multiple of three; the last " +
             counted(extra, " value is", " values are") + " ignored");
  }
  noteLayout(read.layout, fileName);
  noteTextValues(values, used, fileName);
  if (evolving) noteUnboundedCosts(values, used);
  if (evolving && used == 0) {
    note("note",
         "there is no test triple: every cost is 0, and the evolution has "
         "nothing to find");
  }
}

std::vector<std::string> stream_reader(std::istream& stream) {
  ValueMemory unlimited(UINT64_MAX);
  std::string line;
  readLine(stream, line, unlimited);
  std::vector<std::string> cells;
  appendCells(line, cells, unlimited);
  return cells;
}
