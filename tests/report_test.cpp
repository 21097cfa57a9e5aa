// function-approximator-report run for real on small hand-written
// transcripts. Every expected text is worked out from the transcript format
// and the report's rules by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ranges>
#include <sstream>
#include <string>
#include <tuple>
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

// First population 0, 1, 100, 1000, 10000 and inf: three bins of 4/3 decade
// hold 2, 1 and 2 (on a linear axis 4, 0 and 1).
const std::string kGeneration =
    "\t---\tNon-finite costs: 0\t---\tBest expression: a\n";
const std::string kEvolution =
    setUp("Var[0] --- a(1),b(2),c(3)\n", '2') + block(0, "a", {"0"}) +
    block(1, "b", {"1"}) + block(2, "c", {"100"}) + block(3, "2", {"1000"}) +
    block(4, "a*b", {"10000"}) + block(5, "a/a", {"inf"}) +
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
  // The population size against the blocks: fewer, more, none for a
  // negative size.
  s.write("fewer", std::string(kPlain).replace(kPlain.find(" 6\n"), 2, " 7"));
  s.write("more", std::string(kPlain).replace(kPlain.find(" 6\n"), 2, " 5"));
  const std::string two = block(0, "a", {"1", "2"}) + block(1, "b", {"3", "4"});
  std::string empty = kPlain.substr(0, kPlain.find("Expr")) + "FINISHED\n";
  s.write("empty", empty.replace(empty.find(" 6\n"), 2, " -2"));
  s.write("negative", empty.insert(empty.find("FIN"), two));
  // The least double as every cost: an axis of a few of them.
  std::string tiny = setUp("Var[0] --- a(1),b(2),c(3)\n");
  for (int i = 0; i < 6; ++i) tiny += block(i, "a", {"5e-324"});
  s.write("tiny", tiny + "FINISHED\n");
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
      {"fewer", 1, "damaged at line 71\n",
       "fewer: line 71: expected 7 individuals, as the population size says;"},
      {"more", 1, "damaged at line 62\n", "more: line 62: expected 5 "},
      {"negative", 1, "damaged at line 22\n", "negative: line 22: expected 0 "},
      {"empty", 0, "individuals      0\n  transcript       complete\n", ""},
      {"-h >/dev/full", 1, "",
       "cannot write to standard output: No space left on device\n"},
      {"--version >&-", 1, "",
       "cannot write to standard output: Bad file descriptor\n"},
      {"-h", 0, "Usage: " + me + " [--top N] [--svg FILE] [TRANSCRIPT...]\n",
       ""},
      {"-V", 0, me + " " APPROXIMATOR_VERSION "\n", ""},
      {"--bogus", 2, "", "unknown option or missing value: --bogus\n"},
      {"--top 3x run", 2, "", "--top wants a whole number of 0 or more\n"},
      // A plain run's first and last best cost are its population's best.
      {"run >/dev/full", 1, "", "cannot write the report\n"},
      {"--top 0 --svg r.svg run evo", 0,
       "\nRuns\n  transcript  population  generations  first best  last best\n"
       "  run                  6            0       -0.25      -0.25\n"
       "  evo                  6            2         0.5       0.25\n\nLast "
       "best costs of the runs\n  best             -0.25\n  median           "
       "0\n",
       ""},
      {"--svg t.svg tiny", 0, "\n  max              4.94066e-324\n", ""},
      {"-x", 2, "", "unknown option or missing value: -x\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runShell(s, "'" REPORT_EXE "' >out 2>err " + c.args), c.status)
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
  // padded by a twentieth to 0.1125 and 3.1375, from y 800 up to 524 in the
  // lower panel; the nan median of generation 1 is left out.
  const std::string svg = s.read("h.svg");
  const auto count = [&](std::string_view part) {
    return std::ranges::distance(std::views::split(svg, part)) - 1;
  };
  EXPECT_EQ(count("<rect class=\"bar\""), 3) << svg;
  EXPECT_EQ(count("<text class=\"xtick\" x=\"670.0\" y=\"819.0\">2<"), 1);
  // The median first, under the best.
  EXPECT_EQ(count("<path class=\"series r1\" d=\"M670.0,536.5 \"/>\n<path "
                  "class=\"series r0\" d=\"M80.0,764.6 L670.0,787.5 \"/>"),
            1);
  // Whole counts 0 to 2 and costs 1 to 3 along the vertical axes.
  EXPECT_EQ(count("\"end ytick\""), 6) << svg;
  EXPECT_EQ(runShell(s, "! command -v xmllint || xmllint --noout h.svg"), 0);
  EXPECT_NE(s.read("r.svg").find(">2 runs (1 without generations, not "
                                 "drawn); cost axis linear<"),
            std::string::npos);
}

namespace {

// The value of an attribute in an element's opening tag; empty when absent.
std::string attribute(const std::string& tag, const std::string& name) {
  const auto at = tag.find(' ' + name + "=\""), from = at + name.size() + 3;
  return at == tag.npos ? "" : tag.substr(from, tag.find('"', from) - from);
}

bool isWhole(double x) { return std::fabs(x - std::round(x)) < 1e-6; }

// 0 and powers of ten; or from the second on consecutive multiples of one
// step of 1, 2 or 5 times a power of ten, after the multiple before them or
// the axis' own whole start.
bool isRound(const std::vector<double>& v) {
  const auto ten = [](double x) { return isWhole(std::log10(std::fabs(x))); };
  if (std::ranges::all_of(v, [&](double x) { return !x || ten(x); }))
    return true;
  const double step = v.back() - v[v.size() - 2];
  bool round = ten(step) || ten(step / 2) || ten(step / 5);
  for (std::size_t k = 1; k < v.size(); ++k)
    round = round && isWhole(v[k] / step) && v[k] - v[k - 1] < 1.000001 * step;
  return round && (isWhole(v[0] / step) || isWhole(v[0]));
}

}  // namespace

// Real runs reported one by one and together. Each text of a picture is a
// box of 0.6 of its font size a character by one font size, placed by its
// anchor: no two meet, all lie within the picture, and each axis' ticks are
// round. The table of runs agrees with the transcripts' own lines.
TEST(ReportPictures, RoundTicksNoTextOverTextAndATableOfRuns) {
  ScratchDir s;
  // Parabolas, costs of both signs over many decades, costs all alike.
  ASSERT_EQ(runShell(s, "A='" APPROXIMATOR_EXE "'; "
                        R"(
    seq 20 | awk '{print 0.5+$1/10 "," 3-0.4*$1 "," 1+$1/5}' >v1
    printf -- '-3,1000,.01\n2,-.5,-200\n.001,40,-7\n-50,2,3' >v2
    printf '0,0,5\n0,0,5' >v3
    for r in 'parabolas 1 60 12' 'signs 2 100 10' 'alike 3 30 5'; do set -- $r
      cp v$2 testVals.csv; echo $3 $4 .1 .7 3 | "$A" --evolve >$1.txt; done)"),
            0);
  for (const std::string args : {"parabolas.txt", "signs.txt", "alike.txt",
                                 "parabolas.txt signs.txt alike.txt"}) {
    runShell(s, "'" REPORT_EXE "' --svg p.svg " + args + " > out");
    const std::string svg = s.read("p.svg");
    std::vector<std::pair<std::array<double, 4>, std::string>> boxes;
    std::vector<std::vector<double>> ticks;  // axis by axis
    std::string last;                        // the last text's style
    double top = 0, bottom = 0;              // of the last frame drawn
    for (auto at = svg.find("\n<"); at != svg.npos;
         at = svg.find("\n<", at + 1)) {
      const auto end = svg.find('>', at);
      const std::string tag = svg.substr(at + 1, end - at - 1),
                        style = attribute(tag, "class"),
                        d = attribute(tag, "d");
      double y = 0, frameBottom = 0;
      if (std::sscanf(d.c_str(), "M%*f %lfV%lf", &y, &frameBottom) == 2)
        std::tie(top, bottom) = std::pair(y, frameBottom);
      // No point of a line within 4 pixels of its plot's top or bottom.
      for (auto p = d.find(','); style.starts_with("series") && p != d.npos;
           p = d.find(',', p + 1)) {
        y = std::stod(d.substr(p + 1));
        EXPECT_TRUE(top + 4 < y && y < bottom - 4) << args << ": " << d;
      }
      if (!tag.starts_with("<text")) continue;
      const std::string text =
          svg.substr(end + 1, svg.find('<', end) - end - 1);
      const double size = style == "title" ? 17 : 12;
      const double width = 0.6 * size * static_cast<double>(text.size());
      double left = std::stod(attribute(tag, "x")) - width / 2;  // middle
      if (style.starts_with("end")) left -= width / 2;
      if (style.starts_with("start")) left += width / 2;
      const double high = std::stod(attribute(tag, "y")) - 0.8 * size,
                   right = left + width;
      for (const auto& [b, other] : boxes)
        EXPECT_FALSE(left < b[1] && b[0] < right && high < b[3] &&
                     b[2] < high + size)
            << args << ": \"" << text << "\" meets \"" << other << '"';
      boxes.push_back({{left, right, high, high + size}, text});
      EXPECT_TRUE(left >= 0 && right <= 720) << args << ": " << text;
      if (style.ends_with("tick") && style != last) ticks.emplace_back();
      if (style.ends_with("tick")) ticks.back().push_back(std::stod(text));
      last = style;
    }
    for (const std::vector<double>& axis : ticks)
      EXPECT_TRUE(axis.size() >= 2 && isRound(axis))
          << args << ": " << testing::PrintToString(axis);
  }
  // The last report's table: each run's population size and generations,
  // as asked, and its first and last best cost, as its generation lines say;
  // then the lowest and the middle of the last best costs.
  std::string expected;  // after the header, which the layout row checks
  std::vector<std::pair<double, std::string>> lastBest;
  for (const auto& [name, asked] : {std::pair{"parabolas.txt", "60 12"},
                                    {"signs.txt", "100 10"},
                                    {"alike.txt", "30 5"}}) {
    const std::string run = s.read(name);
    const auto cost = [&](std::size_t at) {  // at "Best cost: "
      return run.substr(at + 11, run.find('\t', at) - at - 11);
    };
    const std::string last = cost(run.rfind("Best cost: "));
    lastBest.emplace_back(std::stod(last), last);
    expected += std::string(name) + " " + asked + " " +
                cost(run.find("Best cost: ")) + " " + last + " ";
  }
  std::ranges::sort(lastBest);
  expected += "Last best costs of the runs best " + lastBest[0].second +
              " median " + lastBest[1].second + " ";
  const std::string out = s.read("out");
  EXPECT_NE(out.find("\n\nTranscript alike.txt\nRun\n"), out.npos) << out;
  // Word by word: the widths of the columns are the report's own.
  std::istringstream table(
      out.substr(out.find("\n", out.rfind("\nRuns\n") + 6)));
  std::string words;
  for (std::string word; table >> word;) words += word + " ";
  EXPECT_EQ(words, expected);
}
