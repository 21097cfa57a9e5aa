// The test-value file: lines of comma-separated cells, read as plain text.
#pragma once

#include <istream>
#include <string>
#include <vector>

// Every cell of every line of the file, in file order. A file that cannot be
// opened (missing, unreadable, a directory) gets the line
// "Unable to open file: <name>" on standard output and an empty list.
std::vector<std::string> readVars(std::string fileName);

// The cells of the next line of the stream. Cells are cut at every comma and
// kept verbatim: blanks and a carriage return stay in them. A trailing comma
// starts no cell; an empty line has none.
std::vector<std::string> stream_reader(std::istream& stream);
