#include "reader.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "support.hpp"

using Cells = std::vector<std::string>;

TEST(StreamReader, SplitsOneLineIntoCells) {
  struct Case {
    std::string line;
    Cells cells;
  };
  const Case cases[] = {
      {"", {}},
      {"1,2,3", {"1", "2", "3"}},
      {"1,2,3,", {"1", "2", "3"}},
      {"1,2,,", {"1", "2", ""}},
      {"1,,3", {"1", "", "3"}},
      {",1", {"", "1"}},
      {",", {""}},
      {",,", {"", ""}},
      {"1, 2", {"1", " 2"}},
      {"1,2\r", {"1", "2\r"}},
      {"\r", {"\r"}},
  };
  for (const Case& c : cases) {
    std::istringstream stream(c.line + "\nnext");
    EXPECT_EQ(stream_reader(stream), c.cells) << '"' << c.line << '"';
    // Only the one line was consumed.
    EXPECT_EQ(stream_reader(stream), Cells{"next"});
  }
}

TEST(ReadVars, FilesBecomeOneFlatList) {
  struct Case {
    const char* name;
    std::string content;
    Cells cells;
  };
  const Case cases[] = {
      {"empty", "", {}},
      {"only line feeds", "\n\n\n", {}},
      {"final line feed", "1,2,3\n4,5,6\n", {"1", "2", "3", "4", "5", "6"}},
      {"no final line feed", "1,2,3\n4,5,6", {"1", "2", "3", "4", "5", "6"}},
      {"uneven lines", "1,2\n3,4,5,6\n", {"1", "2", "3", "4", "5", "6"}},
      {"CRLF",
       "1,2,3\r\n\r\n4,5,6\r\n",
       {"1", "2", "3\r", "\r", "4", "5", "6\r"}},
      {"blanks kept", " 1 ,2\t,3 \n", {" 1 ", "2\t", "3 "}},
      {"embedded NUL",
       std::string("1,\0,3\n", 6),
       {"1", std::string(1, '\0'), "3"}},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.write("testVals.csv", c.content);
    CoutCapture out;
    EXPECT_EQ(readVars((dir.path() / "testVals.csv").string()), c.cells)
        << c.name;
    EXPECT_EQ(out.text(), "") << c.name;
  }
}

TEST(ReadVars, UnopenablePathsAreReportedOnStandardOutput) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.path() / "testVals.csv");
  for (const std::string& name : {(dir.path() / "missing.csv").string(),
                                  (dir.path() / "testVals.csv").string()}) {
    CoutCapture out;
    EXPECT_EQ(readVars(name), Cells{});
    EXPECT_EQ(out.text(), "Unable to open file: " + name + "\n");
  }
}
