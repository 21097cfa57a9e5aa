// function-approximator-report run for real on small hand-written
// transcripts. Every expected text is worked out from the transcript format
// and the report's rules by hand.
#include <gtest/gtest.h>

#include <ranges>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

const std::string kSep = std::string(48, '*') + "\n";

// The set-up and the listing of a run with the given "Var[" lines.
std::string setUp(const std::string& triples, char generations = '0') {
  return kSep + "Function approximator application\n" + kSep +
         "Give me population size\nGive me generations\nGive me mutation "
         "rate\nGive me crossover rate\nGive me tree depth\n" +
         kSep + "Starting algorithm\nCharacteristics\n" + kSep +
         "Generations: " + std::string(1, generations) +
         "\nPopulation size: 6\nMutation rate: 0.1\nCrossover "
         "rate: 0.7\n" +
         kSep + "Test values: \n" + triples + kSep;
}

// One evaluation block: one Parsed/Result/Cost1 group per running cost.
std::string block(int index, const std::string& expression,
                  const std::vector<std::string>& costs) {
  std::string text =
      "Expression: " + std::to_string(index) + "\t---\t" + expression + "\n";
  for (const std::string& cost : costs)
    text += "Parsed: 1+2\nResult (floating point): 3\nCost1: " + cost + "\n";
  return text + kSep;
}

// Lines 1-21 are the set-up and listing; block i takes lines 22 + 8i to
// 29 + 8i. Final costs -0.25, inf, 0.75, -inf, nan, -0.25.
const std::string kPlain =
    setUp("Var[0] --- a(1),b(2),c(3)\nVar[3] --- a(4),b(5),c(6)\n") +
    block(0, "b-asc*a", {"0.06", "-0.25"}) + block(1, "2", {"1", "inf"}) +
    block(2, "a+b", {"2", "0.75"}) + block(3, "a", {"-inf", "-inf"}) +
    block(4, "c", {"5", "nan"}) + block(5, "b", {"-100", "-0.25"}) +
    "function-approximator: note: from 2>&1\nFINISHED\n";

// First population 0, 1, 100, 1000, 10000: three bins of 4/3 decade hold
// 2, 1 and 2 (on a linear axis 4, 0 and 1).
const std::string kGeneration =
    "\t---\tNon-finite costs: 0\t---\tBest expression: a\n";
const std::string kEvolution =
    setUp("Var[0] --- a(1),b(2),c(3)\n", '2') + block(0, "a", {"0"}) +
    block(1, "b", {"1"}) + block(2, "c", {"100"}) + block(3, "2", {"1000"}) +
    block(4, "a*b", {"10000"}) +
    "Generation: 1\t---\tBest cost: 0.5\t---\tMedian cost: nan" + kGeneration +
    "Generation: 2\t---\tBest cost: 0.25\t---\tMedian cost: 3" + kGeneration +
    kSep + block(7, std::string(120, 'b'), {"0.25"}) + "FINISHED\n";

}  // namespace

TEST(ReportCommand, ReportsPicturesStatusesAndMessages) {
  struct Case {
    std::string args;
    int status;
    std::string out, err;  // a part of the report; the errors' start
  };
  ScratchDir s;
  s.write("run", kPlain);
  s.write("evo", kEvolution);
  s.write("cut", kPlain.substr(0, kPlain.find("Expression: 3") + 20));
  s.write("cut-evo", kEvolution.substr(0, kEvolution.find("Cost1: 0.25")));
  s.write("damaged", std::string(kPlain).replace(kPlain.find("Cost1: 0.75"), 11,
                                                 "Cost1: ?"));
  s.write("junk", "hello\n" + kPlain);
  const std::string me = "function-approximator-report";
  const Case cases[] = {
      // Finite costs rise, ties keep transcript order, non-finite come last.
      {"run", 0,
       "Run\n  population size  6\n  generations      0\n  mutation rate    "
       "0.1\n  crossover rate   0.7\n  test triples     2\n  individuals      "
       "6\n  transcript       complete\n\nFinal costs\n  finite           3\n  "
       "inf              1\n  -inf             1\n  nan              1\n  no "
       "cost          0\n\nBest individuals by final cost (lower is better)\n  "
       "rank  index   cost  expression\n     1      0  -0.25  b-asc*a\n     2  "
       "    5  -0.25  b\n     3      2   0.75  a+b\n     4      1    inf  2\n  "
       "   5      3   -inf  a\n     6      4    nan  c\n\nFinite final costs\n "
       " median           -0.25\n  min              -0.25\n  max              "
       "0.75\n",
       ""},
      // 100 columns: 21 before the expression, 76 of it and "...".
      {"--svg h.svg < evo", 0,
       "final population by final cost (lower is better)\n  rank  index  cost  "
       "expression\n     1      7  0.25  " +
           std::string(76, 'b') + "...\n\n",
       ""},
      {"--top 1 run", 0, "  -0.25  b-asc*a\n\nFinite", ""},
      {"--top 0 run", 0, "(lower is better)\n  none asked for\n", ""},
      {"evo", 0, "population\n  median           100\n", ""},  // odd count
      {"--svg no/such.svg run", 1, "Run\n", "cannot write no/such.svg\n"},
      // The median of an even count is halfway between the middle two.
      {"cut", 3, "\n  median           0.25\n",
       "cut: the transcript ends before \"FINISHED\": the run was cut short; "
       "the report covers the 3 individuals read in full\n"},
      {"cut-evo", 3,
       "\nGenerations\n  count            2\n  first best cost  0.5\n  last "
       "best cost   0.25\n",
       "cut-evo: the"},
      {"damaged", 1, "damaged at line 44\n",
       "damaged: line 44: expected \"Cost1: \" and a number;"},
      {"junk", 1, "", "junk is not a transcript of function-approximator\n"},
      {"--help", 0, "Usage: " + me + " [--top N] [--svg FILE] [TRANSCRIPT]\n",
       ""},
      {"--version", 0, me + " " APPROXIMATOR_VERSION "\n", ""},
      {"--bogus", 2, "", "unknown option or missing value: --bogus\n"},
      {"--top 3x run", 2, "", "--top wants a whole number of 0 or more\n"},
      {"run evo", 2, "", "one transcript at a time\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runShell(s, "'" REPORT_EXE "' " + c.args + " > out 2> err"),
              c.status)
        << c.args;
    const std::string out = s.read("out"), err = s.read("err");
    EXPECT_TRUE(c.out.empty() ? out.empty() : out.find(c.out) != out.npos)
        << c.args << ": " << out;
    EXPECT_TRUE(c.err.empty() ? err.empty()
                              : err.starts_with(me + ": " + c.err))
        << c.args << ": " << err;
    EXPECT_EQ(err.find("\nUsage: ") != err.npos, c.status == 2) << c.args;
  }
  // The pictures: one bar per non-empty bin, one line per series.
  // Generations 1 and 2 at x 80 and 670; costs 0.25 to 3 on a linear axis
  // from y 360 to 70; the nan median of generation 1 is left out.
  const std::string svg = s.read("h.svg");
  const auto count = [&](std::string_view part) {
    return std::ranges::distance(std::views::split(svg, part)) - 1;
  };
  EXPECT_EQ(count("<rect class=\"bar\""), 3) << svg;
  EXPECT_EQ(count("<text x=\"670.0\" y=\"379\">2</text>"), 1) << svg;
  EXPECT_EQ(count("<path class=\"series"), 2) << svg;
  EXPECT_EQ(count("best\" d=\"M80.0,333.6 L670.0,360.0 \""), 1);
  EXPECT_EQ(count("median\" d=\"M670.0,70.0 \""), 1);
  EXPECT_EQ(runShell(s, "! command -v xmllint || xmllint --noout h.svg"), 0);
}
