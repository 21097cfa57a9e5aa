#include "reader.hpp"

#include <filesystem>
#include <fstream>

#include "transcript.hpp"

std::vector<std::string> readVars(std::string fileName) {
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
  while (file.good()) {
    std::vector<std::string> cells = stream_reader(file);
    values.insert(values.end(), std::make_move_iterator(cells.begin()),
                  std::make_move_iterator(cells.end()));
  }
  return values;
}

std::vector<std::string> stream_reader(std::istream& stream) {
  std::string line;
  std::getline(stream, line);
  std::vector<std::string> cells;
  std::size_t start = 0;
  while (start < line.size()) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string::npos) {
      cells.push_back(line.substr(start));
      break;
    }
    cells.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  return cells;
}
