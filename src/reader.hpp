// The test-value file: lines of comma-separated cells, read as plain text.
#pragma once

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

// The cells of the next line of the stream. Cells are cut at every comma and
// kept verbatim: blanks and a carriage return stay in them. A trailing comma
// starts no cell; an empty line has none.
std::vector<std::string> stream_reader(std::istream& stream);
