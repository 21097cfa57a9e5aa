// The programs as a user meets them: their command lines, what an
// installation holds, and the status line of a long run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support.hpp"

// Help and version answer on standard output, a wrong command line on
// standard error. The report's rows hold for its getopt_long command line.
TEST(CommandLine, EachOptionAnswersOnItsStreamWithItsStatus) {
  struct Case {
    std::string exe, args, firstLine;
    int status;
  };
  const std::string fa = APPROXIMATOR_EXE, fr = REPORT_EXE;
  const Case cases[] = {
      {fa, "--help", "Usage: function-approximator ", 0},
      {fa, "--version", "function-approximator " APPROXIMATOR_VERSION, 0},
      {fa, "--quiet", "function-approximator: unknown option '--quiet'", 2},
      {fa, "--evolve 5", "function-approximator: unexpected argument '5'", 2},
      {fr, "--help", "Usage: function-approximator-report ", 0},
      {fr, "--version", "function-approximator-report " APPROXIMATOR_VERSION,
       0},
      {fr, "--to 3", "function-approximator-report: ", 2},
      {fr, "a b", "function-approximator-report: ", 2},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    const std::string run = "'" + c.exe + "' " + c.args;
    EXPECT_EQ(runShell(dir, run + " </dev/null >out 2>err"), c.status) << run;
    const std::string shown = dir.read(c.status == 0 ? "out" : "err");
    EXPECT_EQ(shown.substr(0, c.firstLine.size()), c.firstLine) << run;
    EXPECT_EQ(dir.read(c.status == 0 ? "err" : "out"), "") << run;
  }
}

TEST(Install, PutsTheProgramsAndTheirManualPagesAndNothingElse) {
  ScratchDir dir;
  runShell(dir,
           "'" CMAKE_COMMAND "' --install '" BUILD_DIR "' --prefix r >log");
  runShell(dir, "find r ! -type d | LC_ALL=C sort > files");
  EXPECT_EQ(dir.read("files"),
            "r/bin/function-approximator\nr/bin/function-approximator-report\n"
            "r/share/man/man1/function-approximator-report.1\n"
            "r/share/man/man1/function-approximator.1\n");
  EXPECT_EQ(runShell(dir, "r/bin/function-approximator --version > out"), 0);
  if (runShell(dir, "command -v man > /dev/null") != 0) GTEST_SKIP();
  runShell(dir, "MANWIDTH=80 man --warnings -l r/share/man/man1/* 2>err >out");
  EXPECT_EQ(dir.read("err"), "");
}

// The transcript's reader holds the run up for two seconds; the status line
// reaches the terminal alone and is wiped out before the program ends.
TEST(Progress, ShownOnATerminalWhileTheTranscriptGoesElsewhere) {
  ScratchDir dir;
  if (runShell(dir, "command -v script > /dev/null") != 0) GTEST_SKIP();
  dir.write("in", "3000 0 0 0 2\n");
  const auto slowRun = [&](const std::string& stderrTo) {
    runShell(dir, "script -qec \"'" APPROXIMATOR_EXE "' < in " + stderrTo +
                      " | (sleep 2; cat > out)\" /dev/null > tty");
    return dir.read("tty");
  };
  EXPECT_EQ(slowRun("2> err") + dir.read("err"), "");
  const std::string tty = slowRun("");
  EXPECT_EQ(dir.read("out").find('\r'), std::string::npos);
  const std::size_t start = tty.rfind("\rindividual ");
  ASSERT_NE(start, std::string::npos) << tty;
  const std::size_t end = tty.find('\r', start + 1);
  const std::string last = tty.substr(start + 1, end - start - 1);
  EXPECT_THAT(last, testing::MatchesRegex("individual [0-9,]+ of 3,000 *"));
  const std::string blank(last.find_last_not_of(' ') + 1, ' ');
  EXPECT_EQ(tty.substr(end), '\r' + blank + '\r');
}
