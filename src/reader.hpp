// The test-value file: lines of comma-separated cells, read as plain text,
// and the notes on what the run will make of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

// The test values would take more memory than readVars may give them.
class TestValuesTooLarge : public std::runtime_error {
 public:
  TestValuesTooLarge();
};

// Every cell of every line of the file, in file order. A file that cannot be
// opened (missing, unreadable, a directory) gets the line
// "Unable to open file: <name>" on standard output and an empty list. Throws
// TestValuesTooLarge as soon as the cells, with the line being read, would
// take more than memoryBytes of the heap.
std::vector<std::string> readVars(std::string fileName,
                                  std::uint64_t memoryBytes = UINT64_MAX);

// How the file's lines held their values, seen while it was read.
struct ValueLayout {
  std::size_t lines = 0;    // lines that hold a value
  std::size_t perLine = 0;  // values on each of them; 0 when lines differ
  bool comma = false;       // a comma anywhere
  // On a line without a comma, the first blank, ';' or tab between two
  // numbers ("1 2", "1;-2"); 0 for none.
  char gap = 0;
};

// The test-value file as read: its cells in file order, how its lines held
// them, and why it could not be opened (an errno; 0 when it was).
struct TestValues {
  std::vector<std::string> values;
  ValueLayout layout;
  int openError = 0;
};

// readVars, with what the notes on the file need beside the cells, and
// writing nothing: the caller tells of a file that cannot be opened.
TestValues readTestValues(const std::string& fileName,
                          std::uint64_t memoryBytes = UINT64_MAX);

// One line on standard error for each thing the run will make of the test
// values that the user may not expect: a file that cannot be opened, values
// left over after the last triple, values not separated by commas, lines of
// the same length other than a multiple of three (triples are taken across
// them), values that are not numbers. When generations run (`evolving`):
// triples whose a is not above 0, for which the cost has no lower bound,
// and no triple at all, for which every cost is 0.
void noteTestValues(const TestValues& read, const std::string& fileName,
                    bool evolving);

// The cells of the next line of the stream. Cells are cut at every comma and
// kept verbatim: blanks and a carriage return stay in them. A trailing comma
// starts no cell; an empty line has none.
std::vector<std::string> stream_reader(std::istream& stream);
