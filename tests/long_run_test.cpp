// Long evolving runs as a user steers them, on the real executable: the
// brief transcript, the statistics file, the stopping rules, the clean stop
// and the record line. The draws of the generations are not written out
// here: every expectation comes from the runs' own structure.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <csignal>
#include <regex>

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
// replaced by a line that sums them up by the ranking's rules: the best is
// the first of the lowest finite costs, the median that of the finite ones.
// Without generations it ends with the best one's block.
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
  std::vector<Lines::const_iterator> blocks;
  Lines costs;  // each block's last
  for (auto line = first; line != recordAt; ++line) {
    if (line->starts_with("Expression: ")) blocks.push_back(line);
    if (line->starts_with("Cost1: ")) costs.resize(blocks.size());
    if (line->starts_with("Cost1: ")) costs.back() = line->substr(7);
  }
  ASSERT_EQ(costs.size(), 9u);
  std::size_t best = 0;
  std::vector<float> finite;
  for (std::size_t i = 0; i < 9; ++i) {
    if (!std::isfinite(number(costs[i]))) continue;
    if (finite.empty() || number(costs[i]) < number(costs[best])) best = i;
    finite.push_back(number(costs[i]));
  }
  ASSERT_FALSE(finite.empty());
  std::ranges::sort(finite);
  const std::size_t n = finite.size(), listed = first - full.begin();
  const float median = (finite[(n - 1) / 2] + finite[n / 2]) / 2;
  const Lines brief = split(evolved(dir, "9 4 1.5 0.8 2", "--brief"));
  const std::string zeroLine = brief.at(listed + 1);
  const Lines zero = values(zeroLine);
  EXPECT_EQ(zero,
            (Lines{"0", costs[best], zero[2], std::to_string(9 - n),
                   blocks[best]->substr(blocks[best]->find("\t---\t") + 5)}));
  // Six digits of each cost: the mean of two may differ in the last one.
  EXPECT_NEAR(number(zero[2]), median, 1e-5 * std::fabs(median)) << zero[2];
  Lines expected(full.begin(), first);
  expected.insert(expected.end(), {record + " --brief", zeroLine});
  expected.insert(expected.end(), recordAt + 1, full.end());
  EXPECT_EQ(brief, expected);

  expected.resize(listed + 2);
  *std::find(expected.begin(), expected.end(), "Generations: 4") =
      "Generations: 0";
  expected[listed] = kRecord +
                     "printf '9 0 1.5 0.8 2\\n' | function-approximator "
                     "--evolve --seed 1 --brief";
  expected.push_back(kSep);
  expected.insert(expected.end(), blocks[best],
                  std::find(blocks[best], full.cend(), kSep) + 1);
  expected.push_back("FINISHED");
  EXPECT_EQ(split(evolved(dir, "9 0 1.5 0.8 2", "--brief")), expected);
}

// A row per generation from 0, CRLF-ended: the costs and counts of the
// generation lines (9 digits read back as the lines' floats), the nodes of
// the best expression (a character a node) and of the first population's
// complete trees. The rows are the same without --brief.
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
  evolved(dir, "40 12 0.1 0.8 3", "--stats full.csv");
  const auto withoutSeconds = [](const std::string& csv) {
    return std::regex_replace(csv, std::regex(",[^,]*\r\n"), "\n");
  };
  EXPECT_EQ(withoutSeconds(dir.read("full.csv")), withoutSeconds(file));
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
// that many generations with the Stopped line before the closing separator,
// and its record makes it again.
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
  EXPECT_EQ(runShell(dir, "PATH=\"$(dirname '" APPROXIMATOR_EXE
                          "'):$PATH\"; sed -n 's/^Run:.*Command: //p' t | "
                          "sh > rerun 2>/dev/null"),
            0);
  EXPECT_EQ(dir.read("rerun"), dir.read("t"));
}

namespace {

// Runs the program in `dir` with every signal at its default action, sends
// the signals once the transcript holds a generation line, and returns how
// the program ended.
int interrupted(const ScratchDir& dir, const std::string& options,
                std::initializer_list<int> signals) {
  dir.write("in", "200 1000000 0.1 0.8 4\n");
  std::filesystem::remove(dir.path() / "out");
  const std::string command = "cd '" + dir.path().string() + "' && exec '" +
                              APPROXIMATOR_EXE "' " + options +
                              " <in >out 2>err";
  const pid_t child = fork();
  if (child == 0) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int signal : {SIGHUP, SIGINT, SIGTERM})
      std::signal(signal, SIG_DFL);
    execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
    _exit(127);
  }
  int raw = 0;
  for (; dir.read("out").find("\nGeneration: 1\t") == std::string::npos;
       usleep(10000))
    if (waitpid(child, &raw, WNOHANG) == child) return raw;
  for (const int signal : signals) kill(child, signal);
  waitpid(child, &raw, 0);
  return raw;
}

}  // namespace

// A signal once the generations run stops the run after the generation in
// progress, with its best individual's block and its statistics row; the
// program then ends by that signal. A second one ends it at once. The time
// limit only keeps a broken stop from running on.
TEST(CleanStop, ASignalStopsAfterTheGenerationThenEndsTheProgram) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const int raw =
        interrupted(dir, "--evolve --stats s.csv --time-limit 60", {signal});
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == signal) << signal;
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
  const int raw = interrupted(dir, "--evolve --brief", {SIGTERM, SIGHUP});
  EXPECT_TRUE(WIFSIGNALED(raw) &&
              (WTERMSIG(raw) == SIGTERM || WTERMSIG(raw) == SIGHUP));
  EXPECT_FALSE(dir.read("out").ends_with("FINISHED\n"));
}
