// libFuzzer target for the test-value reader: the input is the content of a
// test-value file, read line by line as readVars reads it. A cell holds no
// comma and no line feed.
#include <cstdint>
#include <sstream>

#include "reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::istringstream file({reinterpret_cast<const char*>(data), size});
  while (file.good()) {
    for (const std::string& cell : stream_reader(file)) {
      if (cell.find_first_of(",\n") != std::string::npos) __builtin_trap();
    }
  }
  return 0;
}
