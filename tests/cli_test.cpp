// The programs as a user meets them: their command lines, what an
// installation holds, and the status line of a long run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "support.hpp"

// Help and version answer on standard output, a wrong command line on
// standard error; the first line is `before` + the program's name + `after`.
// The report's rows hold for its getopt_long command line; it takes
// transcripts as arguments.
TEST(CommandLine, EachOptionAnswersOnItsStreamWithItsStatus) {
  struct Case {
    std::string args, before, after;
    int status;
    bool report = true;
  };
  const Case cases[] = {
      {"--help", "Usage: ", " ", 0},
      {"--version", "", " " APPROXIMATOR_VERSION "\n", 0},
      {"--quiet", "", ": ", 2},
      {"--seed 4294967296", "", ": ", 2},
      {"--seed", "", ": ", 2},
      {"--threads 0", "", ": ", 2},
      {"--evolve --stall 0", "", ": ", 2, false},
      {"--evolve --checkpoint c --checkpoint-every 0", "", ": ", 2, false},
      {"--evolve --time-limit -1", "", ": ", 2, false},
      {"--evolve --target-cost 1e39", "", ": ", 2, false},
      {"--evolve --lexicase 1.5", "", ": ", 2, false},
      {"a b", "", ": ", 2, false},
      // The short forms; an unknown letter is named alone even in a cluster.
      {"-h", "Usage: ", " ", 0, false},
      {"-V", "", " " APPROXIMATOR_VERSION "\n", 0, false},
      {"-xV", "",
       ": unknown option '-x'\nTry 'function-approximator --help' for more "
       "information.\n",
       2, false},
      {"--evolve=1", "", ": unknown option '--evolve=1'\n", 2, false},
      {"--checkpoint c", "", ": option '--checkpoint' needs --evolve\n", 2,
       false},
      {"--evolve --checkpoint-every 9", "",
       ": option '--checkpoint-every' needs --checkpoint\n", 2, false},
      {"--resume c --stall 3", "",
       ": option '--stall' cannot be given with --resume", 2, false}};
  ScratchDir dir;
  for (const std::string name :
       {"function-approximator", "function-approximator-report"}) {
    for (const Case& c : cases) {
      if (!c.report && name == "function-approximator-report") continue;
      const std::string run = "'" BUILD_DIR "/" + name + "' " + c.args;
      EXPECT_EQ(runShell(dir, run + " </dev/null >out 2>err"), c.status) << run;
      const std::string first = c.before + name + c.after;
      EXPECT_EQ(dir.read(c.status == 0 ? "out" : "err").substr(0, first.size()),
                first)
          << run;
    }
  }
}

#ifdef REPLAY_EXE
TEST(CommandLine, ReplayHelpIsItsUsage) {
  ScratchDir dir;
  EXPECT_EQ(runShell(dir, "'" REPLAY_EXE "' --help >out 2>err"), 0);
  EXPECT_EQ(dir.read("out").rfind("Usage: transcript-replay TRANSCRIPT\n", 0),
            0u);
  EXPECT_EQ(dir.read("err"), "");
}
#endif

TEST(Install, PutsTheProgramsTheirManualPagesAndTheSampleAndNothingElse) {
  ScratchDir dir;
  runShell(dir, "'" CMAKE_COMMAND "' --install '" BUILD_DIR
                "' --prefix r >log; find r ! -type d | LC_ALL=C sort >files");
  EXPECT_EQ(dir.read("files"),
            "r/bin/function-approximator\nr/bin/function-approximator-report\n"
            "r/share/doc/function-approximator/examples/testVals.csv\n"
            "r/share/man/man1/function-approximator-report.1\n"
            "r/share/man/man1/function-approximator.1\n");
  if (runShell(dir, "command -v man > /dev/null") != 0) GTEST_SKIP();
  runShell(dir, "MANWIDTH=80 man --warnings -l r/share/man/man1/* 2>err >out");
  EXPECT_EQ(dir.read("err"), "");
}

// In its first, quiet second the run fills the pipe with hundreds of
// individuals; its reader takes some at 1.5 s and more at 2.5 s, so the run is
// seen at least twice, and then either reads the rest or goes away, ending
// the run early. The status line reaches the terminal alone, at most ten
// times a second, and is wiped out either way.
TEST(Progress, ShownOnATerminalWhileTheTranscriptGoesElsewhere) {
  ScratchDir dir;
  dir.write("in", "6000 0 0 0 2\n");
  dir.write("testVals.csv", "");  // (a missing one gets a warning)
  const auto slowRun = [&](std::string stderrTo, std::string end) {
    runShell(dir, "script -qec \"'" APPROXIMATOR_EXE "' <in " + stderrTo +
                      " | (sleep 1.5; head -c 99999; sleep 1; " + end +
                      ") >out\" /dev/null >tty");
    return dir.read("tty") + dir.read("err");
  };
  EXPECT_EQ(slowRun("2>err", "cat"), "");
  for (const std::string end : {"cat", "head -c 99999"}) {
    const std::string tty = slowRun("", end);
    ASSERT_THAT(tty, testing::MatchesRegex(
                         "\rindividual [1-9][0-9,]{2,} of 6,000"
                         "( *\rindividual [0-9,]+ of 6,000)+ *\r +\r"))
        << end;
    // Each line drawn starts with a carriage return; the wiping takes two.
    EXPECT_LE(std::count(tty.begin(), tty.end(), '\r'), 30 + 2) << end;
    // The last line drawn is wiped out by as many blanks as it has columns.
    const std::size_t at = tty.rfind("\ri"), to = tty.find('\r', at + 1);
    const std::string blank(tty.find_last_not_of(' ', to - 1) - at, ' ');
    EXPECT_EQ(tty.substr(to), '\r' + blank + '\r') << end;
  }
}
