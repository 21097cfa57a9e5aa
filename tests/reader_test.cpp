#include "reader.hpp"

#include <gtest/gtest.h>

#include "support.hpp"

// Lines are read whole across the reader's 4096-byte pieces (lines of 4095
// and 4096 characters, before a line feed and at the end), and the values'
// memory is counted as it grows: a file that fits reads whole, one that does
// not stops.
TEST(Reader, ReadsLongLinesWholeAndStopsAtItsMemory) {
  ScratchDir dir;
  const std::string file = (dir.path() / "values").string();
  for (const std::size_t n : {4090, 4091, 4094, 4095, 9000}) {
    const std::string cell(n, '7');
    dir.write("values", cell + ",1,,2\n\n" + cell + "\r");
    const std::vector<std::string> cells = {cell, "1", "", "2", cell + '\r'};
    EXPECT_TRUE(readVars(file) == cells) << n;
  }
  // 100,000 empty cells: 131,072 strings of 32 bytes, and their 65,536
  // before them while they are moved.
  dir.write("values", std::string(100000, ','));
  EXPECT_EQ(readVars(file, 7 << 20).size(), 100000u);
  EXPECT_THROW(readVars(file, 5 << 20), TestValuesTooLarge);
}
