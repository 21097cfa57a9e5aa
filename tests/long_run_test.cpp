// Long evolving runs as a user steers them, on the real executable: the
// brief transcript, the statistics file, the stopping rules, the clean stop
// and the record line. The draws of the generations are not written out
// here: every expectation comes from the runs' own structure.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "support.hpp"
#include "transcript.hpp"

namespace {

using Lines = std::vector<std::string>;

Lines split(const std::string& text, const std::string& end = "\n") {
  Lines parts;
  for (std::size_t at = 0, next; at < text.size(); at = next + end.size()) {
    next = std::min(text.find(end, at), text.size());
    parts.push_back(text.substr(at, next - at));
  }
  return parts;
}

// A Generation line's values: number, best, median, non-finite, expression.
Lines values(const std::string& line) {
  Lines parts = split(line, "\t---\t");
  for (std::string& part : parts) part = part.substr(part.find(": ") + 2);
  return parts;
}

Lines generationLines(const Lines& lines) {
  Lines found;
  for (const std::string& line : lines)
    if (line.starts_with("Generation: ")) found.push_back(line);
  return found;
}

float number(const std::string& text) {
  return std::strtof(text.c_str(), nullptr);
}

std::string evolved(const ScratchDir& dir, const std::string& answers,
                    const std::string& options = "") {
  return runProgram(dir, answers, "--evolve " + options + " >.stdout").out;
}

const std::string kSep(kSeparator);
const std::string kRecord =
    "Run: function-approximator " APPROXIMATOR_VERSION "\t---\tCommand: ";
// Values that divide by zero now and then: some costs are not finite.
const char* const kValues = "1,-8,20\n0,2,-1\n2.5,0,1\n-1,3,0\n";

}  // namespace

// A brief transcript is the full one with the first population's blocks
// replaced by a line that sums them up (the ranking's own tests check the
// sums); without generations it ends with the best one's block, whose cost
// and expression that line gives.
TEST(BriefTranscript, IsTheFullOneWithTheFirstPopulationSummedUp) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  const Lines full = split(evolved(dir, "9 4 1.5 0.8 2"));
  // The clamped rate is the one used; an unseeded run is seed 1.
  const std::string record =
      kRecord +
      "printf '9 4 1 0.8 2\\n' | function-approximator --evolve --seed 1";
  const auto first = std::ranges::find_if(
      full, [](const std::string& line) { return line.starts_with("Expr"); });
  const auto recordAt = std::find(first, full.end(), record);
  ASSERT_NE(recordAt, full.end());
  const std::size_t listed = first - full.begin();
  const Lines brief = split(evolved(dir, "9 4 1.5 0.8 2", "--brief"));
  const std::string zeroLine = brief.at(listed + 1);
  Lines expected(full.begin(), first);
  expected.insert(expected.end(), {record + " --brief", zeroLine});
  expected.insert(expected.end(), recordAt + 1, full.end());
  EXPECT_EQ(brief, expected);

  const Lines none = split(evolved(dir, "9 0 1.5 0.8 2", "--brief"));
  ASSERT_GT(none.size(), listed + 4);
  const auto best = std::find(first, recordAt, none[listed + 3]);
  const auto end = std::find(best, recordAt, kSep);
  ASSERT_NE(end, recordAt);
  const Lines zero = values(zeroLine);
  EXPECT_EQ(zero[0] + " " + zero[4],
            "0 " + best->substr(best->find("\t---\t") + 5));
  EXPECT_EQ("Cost1: " + zero[1], end[-1]);
  expected.resize(listed + 2);
  *std::find(expected.begin(), expected.end(), "Generations: 4") =
      "Generations: 0";
  expected[listed] = kRecord +
                     "printf '9 0 1.5 0.8 2\\n' | function-approximator "
                     "--evolve --seed 1 --brief";
  expected.push_back(kSep);
  expected.insert(expected.end(), best, end + 1);
  expected.push_back("FINISHED");
  EXPECT_EQ(none, expected);
}

// A row per generation from 0, CRLF-ended: the costs and counts of the
// generation lines (9 digits read back as the lines' floats), the nodes of
// the best expression (a character a node) and of the first population's
// complete trees.
TEST(StatsFile, RowsAreTheGenerationLines) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  const Lines lines = generationLines(split(
      evolved(dir, "40 12 0.1 0.8 3", "--brief --stats s.csv --threads 2")));
  const std::string file = dir.read("s.csv");
  const Lines rows = split(file, "\r\n");
  ASSERT_TRUE(file.ends_with("\r\n") && lines.size() == 13 &&
              rows.size() == 14);
  EXPECT_EQ(rows[0],
            "generation,best_cost,median_cost,non_finite,best_nodes,"
            "mean_nodes,seconds");
  // The file gives a NaN without its sign.
  const auto shown = [](const std::string& cost) {
    char text[32];
    return cost == "-nan" ? "nan"
                          : std::string(formatFloat(number(cost), text));
  };
  for (std::size_t g = 0; g < lines.size(); ++g) {
    const Lines row = split(rows[g + 1], ","), line = values(lines[g]);
    ASSERT_EQ(row.size(), 7u) << rows[g + 1];
    EXPECT_EQ(Lines({row[0], shown(row[1]), shown(row[2]), row[3], row[4]}),
              Lines({std::to_string(g), shown(line[1]), shown(line[2]), line[3],
                     std::to_string(line[4].size())}));
    EXPECT_LE(number(split(rows[g], ",")[6]), number(row[6]));
  }
  EXPECT_EQ(split(rows[1], ",")[5], "15");
}

// A file that cannot be opened ends the run before anything is asked; one
// that fails later stops the run as a rule would, with status 1.
TEST(StatsFile, FailuresEndTheRun) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  const RunResult closed = runProgram(dir, "40 12 0.1 0.8 3",
                                      "--evolve --stats no/such.csv >.stdout");
  EXPECT_EQ(std::to_string(closed.status) + closed.out + closed.err,
            "1function-approximator: cannot open the statistics file "
            "'no/such.csv': No such file or directory\n");
  const RunResult full =
      runProgram(dir, "40 12 0.1 0.8 3", "--evolve --stats /dev/full >.stdout");
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(full.err.ends_with(
      "\nfunction-approximator: cannot write the statistics file "
      "'/dev/full': No space left on device\n"));
  const Lines lines = split(full.out);
  const auto stopped = std::find(
      lines.begin(), lines.end(),
      "Stopped: the statistics file could not be written after generation 1");
  ASSERT_NE(stopped, lines.end());
  EXPECT_TRUE(stopped[-1].starts_with("Generation: 1\t"));
  EXPECT_EQ(stopped[1] + lines.back(), kSep + "FINISHED");
}

// Each rule stops the run after the first generation at whose end it holds,
// found from a run without rules: the transcript is then that of a run of
// that many generations with the Stopped line before the closing separator.
TEST(StopRules, EachEndsTheRunWhereItFirstHolds) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  evolved(dir, "60 30 0.1 0.8 3", "--brief --stats ref.csv");
  std::vector<float> best;  // by generation, after the header's 0
  for (const std::string& row : split(dir.read("ref.csv"), "\r\n"))
    best.push_back(number(split(row, ",")[1]));
  ASSERT_EQ(best.size(), 32u);
  best.erase(best.begin());
  char target[32];
  *std::to_chars(target, target + 31, best[15]).ptr = '\0';
  std::size_t reached = 1, stalled = 1;
  while (!(best[reached] <= best[15])) ++reached;
  for (int since = 0; stalled < 30; ++stalled)
    if ((since = best[stalled] < best[stalled - 1] ? 0 : since + 1) == 3) break;
  ASSERT_LT(stalled, 30u) << "the run stalls for three generations";
  const std::string toTarget = std::string("--target-cost ") + target,
                    stall = "no lower best cost in 3 generations";
  const struct {
    std::string options, reason;
    std::size_t after;
  } cases[] = {{toTarget, "target cost reached", reached},
               {"--stall 3", stall, stalled},
               {"--time-limit 1e-09", "time limit reached", 1},
               {toTarget + " --stall 3",
                reached <= stalled ? "target cost reached" : stall,
                std::min(reached, stalled)}};
  for (const auto& c : cases) {
    const std::string g = std::to_string(c.after);
    const std::string run = "--evolve --brief " + c.options + " >t";
    EXPECT_EQ(runProgram(dir, "60 30 0.1 0.8 3", run).status, 0);
    std::string expected;
    for (std::string line :
         split(evolved(dir, "60 " + g + " 0.1 0.8 3", "--brief"))) {
      if (line == "Generations: " + g) line = "Generations: 30";
      if (line.starts_with(kRecord))
        line = kRecord +
               "printf '60 30 0.1 0.8 3\\n' | function-approximator --evolve "
               "--seed 1 --brief " +
               c.options;
      if (line.starts_with("Generation: " + g + "\t"))
        line += "\nStopped: " + c.reason + " after generation " + g;
      expected += line + "\n";
    }
    EXPECT_EQ(dir.read("t"), expected) << c.options;
  }
}

// Runs the program in `dir` with the stop signals at their default action
// (a shell starts a background job with SIGINT ignored), sends it `signals`
// once the transcript holds a generation line, and returns the shell's
// status for it: 128 plus the signal that ended it.
int interrupted(const ScratchDir& dir, const std::string& options,
                const std::string& signals) {
  dir.write("in", "200 1000000 0.1 0.8 4\n");
  const std::string run = "env --default-signal=HUP,INT,TERM '" APPROXIMATOR_EXE
                          "' " +
                          options + " <in >out 2>err & p=$!; ";
  return runShell(dir, "rm -f out; " + run +
                           "while kill -0 $p 2>/dev/null && ! grep -q "
                           "'^Generation: 1' out; do sleep 0.01; done; for s "
                           "in " +
                           signals +
                           "; do kill -$s $p; done; wait $p 2>/dev/null");
}

// A signal once the generations run stops the run after the generation in
// progress, with its best individual's block and its statistics row; the
// program then ends by that signal. A second one ends it at once. The time
// limit only keeps a broken stop from running on.
TEST(CleanStop, ASignalStopsAfterTheGenerationThenEndsTheProgram) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    EXPECT_EQ(interrupted(dir, "--evolve --stats s.csv --time-limit 60",
                          std::to_string(signal)),
              128 + signal);
    const Lines lines = split(dir.read("out"));
    const std::string last = generationLines(lines).back(), g = values(last)[0];
    const auto stopped = std::find(lines.begin(), lines.end(), last) + 1;
    ASSERT_LT(stopped + 2, lines.end()) << signal;
    EXPECT_EQ(Lines(stopped, stopped + 2),
              (Lines{"Stopped: interrupted after generation " + g, kSep}));
    EXPECT_TRUE(stopped[2].ends_with("\t---\t" + values(last)[4]));
    EXPECT_EQ(lines.back(), "FINISHED");
    EXPECT_TRUE(split(dir.read("s.csv"), "\r\n").back().starts_with(g + ","));
  }
  const int status = interrupted(dir, "--evolve --brief", "TERM HUP");
  EXPECT_TRUE(status == 128 + SIGTERM || status == 128 + SIGHUP) << status;
  EXPECT_FALSE(dir.read("out").ends_with("FINISHED\n"));
}
