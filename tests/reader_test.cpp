#include "reader.hpp"

#include <gtest/gtest.h>

#include "support.hpp"

// A line is read whole however long it is: lines cut where the reader's
// 4096-byte pieces end, and a line without a final line feed.
TEST(Reader, LongLinesReadWholeAcrossPieces) {
  ScratchDir dir;
  for (const std::size_t n : {4094, 4095, 4096, 8190, 9000}) {
    const std::string cell(n, '7');
    for (const std::string end : {",", "\n", "\r\n", ",\n"}) {
      dir.write("values", cell + end + "1,,2\n\n" + cell);
      const std::string first = end.starts_with('\r') ? cell + '\r' : cell;
      const std::vector<std::string> expected = {first, "1", "", "2", cell};
      EXPECT_TRUE(readVars((dir.path() / "values").string()) == expected)
          << n << ' ' << end.size();
    }
  }
}

// The values' memory is counted as it grows: a file that fits reads whole,
// one that does not stops, and so does an endless line.
TEST(Reader, StopsAtTheMemoryItMayTake) {
  ScratchDir dir;
  // 100,000 empty cells: 131,072 strings of 32 bytes, and their 65,536
  // before them while they are moved.
  dir.write("commas", std::string(100000, ',') + "\n");
  const std::string commas = (dir.path() / "commas").string();
  EXPECT_EQ(readVars(commas, 7 << 20).size(), 100000u);
  EXPECT_THROW(readVars(commas, 5 << 20), TestValuesTooLarge);
  std::filesystem::create_symlink("/dev/zero", dir.path() / "zeros");
  EXPECT_THROW(readVars((dir.path() / "zeros").string(), 1 << 20),
               TestValuesTooLarge);
}
