// function-approximator-report run for real on small hand-written
// transcripts. Every expected text is worked out from the transcript format
// and the report's rules by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <ranges>
#include <set>
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
         "Generations: " + generations +
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

std::string generation(int g, const std::string& best,
                       const std::string& median) {
  return "Generation: " + std::to_string(g) + "\t---\tBest cost: " + best +
         "\t---\tMedian cost: " + median +
         "\t---\tNon-finite costs: 0\t---\tBest expression: a\n";
}

// First population 0, 1, 100, 1000, 10000 and inf: three bins of 4/3 decade
// hold 2, 1 and 2 (on a linear axis 4, 0 and 1). The lowest possible cost is
// (3 - 2^2/(4*1))/100 = 0.02.
const std::string kTriple = "Var[0] --- a(1),b(2),c(3)\n";
const std::string kPopulation =
    block(0, "a", {"0"}) + block(1, "b", {"1"}) + block(2, "c", {"100"}) +
    block(3, "2", {"1000"}) + block(4, "a*b", {"10000"}) +
    block(5, "a/a", {"inf"});
const std::string kEvolution =
    setUp(kTriple, '2') + kPopulation + generation(1, "0.5", "nan") +
    generation(2, "0.25", "3") + kSep +
    block(7, std::string(120, 'b'), {"0.25"}) + "FINISHED\n";

// A brief run stopped by its target (lines 23 to 27 after the listing): the
// lowest cost is (3 - 4/4)/100 + (1 - 16/8)/100 = 0.01, the last best cost
// 0.0125 is 0.0025 above it.
const std::string kBrief =
    setUp("Var[0] --- a(1),b(-2),c(3)\nVar[3] --- a(2),b(4),c(1)\n", '3') +
    "Run: function-approximator 1.1.0\t---\tCommand: printf '6 3 0.1 0.7 "
    "2\\n' | function-approximator --evolve --seed 7 --brief --target-cost "
    "0.0125\n" +
    generation(0, "0.02", "5") + generation(1, "0.015", "4") +
    generation(2, "0.0125", "nan") +
    "Stopped: target cost reached after generation 2\n" + kSep +
    block(3, "a*b", {"0.1", "0.0125"}) + "FINISHED\n";

// The text with its first `from` made `to`.
std::string edited(std::string text, const std::string& from,
                   const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

const std::string tryHelp =
    "\nTry 'function-approximator-report --help' for more information.\n";

// The words of a text, one blank apart: columns compared without widths.
std::string words(const std::string& text) {
  std::istringstream in(text);
  std::string all;
  for (std::string word; in >> word;) all += word + " ";
  return all;
}

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
  s.write("brief", kBrief);
  s.write("cut", kPlain.substr(0, kPlain.find("Expression: 3") + 20));
  s.write("cut-evo", kEvolution.substr(0, kEvolution.find("Cost1: 0.25")));
  s.write("damaged", edited(kPlain, "Cost1: 0.75", "Cost1: ?"));
  s.write("junk", "hello\n" + kPlain);
  s.write("unbounded", edited(kPlain, "a(4)", "a(-4)"));
  // Stopped by a rule after generation 2 of 5 (line 53); then at a wrong
  // generation.
  const std::string stopped = edited(
      edited(kEvolution, "Generations: 2", "Generations: 5"),
      kSep + "Expression: 7",
      "Stopped: interrupted after generation 2\n" + kSep + "Expression: 7");
  s.write("stopped", stopped);
  s.write("stopped-wrong", edited(stopped, "generation 2\n", "generation 3\n"));
  // The population size against the blocks: fewer, more, none for a
  // negative size.
  s.write("fewer", edited(kPlain, " 6\n", " 7\n"));
  s.write("more", edited(kPlain, " 6\n", " 5\n"));
  const std::string two = block(0, "a", {"1", "2"}) + block(1, "b", {"3", "4"});
  const std::string empty = edited(
      kPlain.substr(0, kPlain.find("Expr")) + "FINISHED\n", " 6\n", " -2\n");
  s.write("empty", empty);
  s.write("negative", edited(empty, "FIN", two + "FIN"));
  // The least double as every cost: an axis of a few of them.
  std::string tiny = setUp(kTriple);
  for (int i = 0; i < 6; ++i) tiny += block(i, "a", {"5e-324"});
  s.write("tiny", tiny + "FINISHED\n");
  // What --svg may not write over, and pictures it replaces whole.
  s.write("old.txt", "notes\n");
  s.write("old.svg", "<svg/>\n");
  s.write("blank.svg", "");
  ASSERT_EQ(runShell(s, "mkdir dir && ln -s run link && ln -s old.svg pic"), 0);
  const std::string me = "function-approximator-report";
  const Case cases[] = {
      // Finite costs rise, ties keep transcript order, non-finite come last.
      // Costs written by hand lie below the lowest possible.
      {"run", 0,
       "Run\n  population size  6\n  generations      0\n  mutation rate    "
       "0.1\n  crossover rate   0.7\n  test triples     2\n  individuals      "
       "6\n  transcript       complete\n\nLowest possible cost (the sum of (c "
       "- b^2/(4a))/100)\n  lowest           0.064375\n  last best gap    "
       "-0.314375 (-488.35% of the lowest)\n\nFinal costs\n  finite           "
       "3\n  inf              1\n  -inf             1\n  nan              1\n  "
       "no cost          0\n\nBest individuals by final cost (lower is "
       "better)\n  rank  index   cost  expression\n     1      0  -0.25  "
       "b-asc*a\n     2      5  -0.25  b\n     3      2   0.75  a+b\n     4    "
       "  1    inf  2\n     5      3   -inf  a\n     6      4    nan  "
       "c\n\nFinite final costs\n  median           -0.25\n  min              "
       "-0.25\n  max              0.75\n",
       ""},
      {"unbounded", 0,
       "\n  lowest           none: the cost has no lower bound, since a is -4 "
       "in the triple at Var[3]\n\n",
       ""},
      // 100 columns: 21 before the expression, 76 of it and "...".
      {"--svg h.svg < evo", 0,
       "final population by final cost (lower is better)\n  rank  index  cost  "
       "expression\n     1      7  0.25  " +
           std::string(76, 'b') + "...\n\n",
       ""},
      {"--top 1 run", 0, "  -0.25  b-asc*a\n\nFinite", ""},
      {"--svg b.svg brief", 0,
       "Run\n  program          function-approximator 1.1.0\n  command         "
       " "
       "printf '6 3 0.1 0.7 2\\n' | function-approximator --evolve --seed 7 "
       "--brief --target-cost 0.0125\n  population size  6\n  generations      "
       "3\n  mutation rate    0.1\n  crossover rate   0.7\n  test triples     "
       "2\n  individuals      0\n  transcript       complete, brief: "
       "generation "
       "lines only\n\nGenerations (from 0, the first population)\n  count     "
       "       2\n  first best cost  0.02\n  last best cost   0.0125\n  "
       "stopped          target cost reached after generation 2\n\nLowest "
       "possible cost (the sum of (c - b^2/(4a))/100)\n  lowest           "
       "0.01\n  last best gap    0.0025 (25% of the lowest)\n\nFinal costs of "
       "the first population\n  not in a brief transcript\n",
       ""},
      {"stopped", 0,
       "  last best cost   0.25\n  stopped          interrupted after "
       "generation 2\n",
       ""},
      {"stopped-wrong", 1, "damaged at line 53\n",
       "stopped-wrong: line 53: expected \"Stopped: \", a reason and \" after "
       "generation 2\";"},
      {"--svg /dev/full run", 1, "Run\n",
       "cannot write /dev/full: No space left on device\n"},
      {"--svg no/such.svg run", 1, "Run\n",
       "cannot write no/such.svg: No such file or directory\n"},
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
      // Refused at the first byte that cannot begin the banner.
      {"/dev/zero", 1, "",
       "/dev/zero is not a transcript of function-approximator\n"},
      {".", 1, "", ". is a directory, not a transcript\n"},
      {"fewer", 1, "damaged at line 71\n",
       "fewer: line 71: expected 7 individuals, as the population size says;"},
      {"more", 1, "damaged at line 62\n", "more: line 62: expected 5 "},
      {"negative", 1, "damaged at line 22\n", "negative: line 22: expected 0 "},
      {"empty", 0, "individuals      0\n  transcript       complete\n", ""},
      {"-h >/dev/full", 1, "",
       "cannot write to standard output: No space left on device\n"},
      {"--bogus", 2, "", "unknown option or missing value: --bogus"},
      {"--top 3x run", 2, "", "--top wants a whole number of 0 or more"},
      {"run >/dev/full", 1, "",
       "cannot write the report: No space left on device\n"},
      {"--svg t.svg tiny", 0, "\n  max              4.94066e-324\n", ""},
      {"-x", 2, "", "unknown option or missing value: -x"},
      // Nothing that a slip of the command line makes it do writes over a
      // transcript or a file that is not a picture.
      {"--svg run run", 2, "", "--svg run: is a transcript being read"},
      {"--svg link run", 2, "", "--svg link: is a transcript being read"},
      {"--svg run - <run", 2, "", "--svg run: is a transcript being read"},
      {"--svg old.txt run", 2, "",
       "--svg old.txt: exists and is not an SVG picture"},
      {"--svg dir run", 2, "", "--svg dir: is a directory"},
      {"--svg --top 3 run", 2, "", "--svg wants a file name, not --top"},
      {"--svg pic run", 0, "Run\n", ""},
      {"--svg blank.svg run", 0, "Run\n", ""},
      // Plain runs have no generations to draw.
      {"--top 0 --svg n.svg run empty", 0,
       "(lower is better)\n  none asked for\n", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runShell(s, "'" REPORT_EXE "' >out 2>err " + c.args), c.status)
        << c.args;
    const std::string out = s.read("out"), err = s.read("err");
    EXPECT_TRUE(c.out.empty() ? out.empty() : out.find(c.out) != out.npos)
        << c.args << ": " << out;
    EXPECT_TRUE(c.err.empty()   ? err.empty()
                : c.status == 2 ? err == me + ": " + c.err + tryHelp
                                : err.starts_with(me + ": " + c.err))
        << c.args << ": " << err;
  }
  EXPECT_EQ(s.read("run") + s.read("old.txt"), kPlain + "notes\n");
  // A link still names the picture it did, now the new one; no temporary
  // file is left behind.
  EXPECT_TRUE(std::filesystem::is_symlink(s.path() / "pic"));
  EXPECT_TRUE(s.read("old.svg").starts_with("<?xml"));
  EXPECT_TRUE(s.read("blank.svg").starts_with("<?xml"));
  EXPECT_EQ(runShell(s, "! ls -A | grep '[.]svg[.]'"), 0);
  EXPECT_NE(s.read("n.svg").find(">No run has generations<"),
            std::string::npos);
  // The pictures: one bar per non-empty bin, one line per series.
  // Generations 1 and 2 at x 80 and 500; gaps 0.23 to 0.48 above the lowest
  // cost, 0.02, and the median's 2.98 cut at three times 0.48, on a log
  // axis linear within 0.23, padded by a twentieth of its decades, from y
  // 800 up to 524 in the lower panel: best 0.48 and 0.23 at 702.99 and
  // 787.45, median 1.44 at 536.55; the nan median of generation 1 is left
  // out.
  const std::string svg = s.read("h.svg");
  const auto count = [&](std::string_view part) {
    return std::ranges::distance(std::views::split(svg, part)) - 1;
  };
  EXPECT_EQ(count("<rect class=\"bar\""), 3) << svg;
  EXPECT_EQ(count("<text class=\"xtick\" x=\"500.0\" y=\"819.0\">2<"), 1);
  EXPECT_EQ(count(">Gap to the lowest possible cost, 0.02, by generation<"), 1);
  EXPECT_EQ(count("class=\"series r0\" d=\"M80.0,703.0 L500.0,787.5 \""), 1);
  EXPECT_EQ(count("; median cut at the top<"), 1);
  EXPECT_EQ(count("class=\"series halo r1\" d=\"M500.0,536.5 \""), 1);
  // The median first, under the best.
  EXPECT_LT(svg.find("series halo r1"), svg.find("series r0"));
  // A brief transcript: no histogram, generations from 0.
  EXPECT_EQ(s.read("b.svg").find("class=\"bar\""), std::string::npos);
  EXPECT_NE(s.read("b.svg").find("class=\"series r0\" d=\"M80.0,"),
            std::string::npos);
  // Runs in natural order, with their seeds and ends; the one cut short
  // and the damaged one are left out of the last best costs.
  runShell(s, "'" REPORT_EXE
              "' --top 0 run evo brief cut-evo damaged >out 2>/dev/null");
  const std::string out = s.read("out");
  EXPECT_EQ(
      words(out.substr(out.rfind("\nRuns\n"))),
      "Runs transcript seed population generations first best last best "
      "gap end brief 7 6 2 0.02 0.0125 0.0025 target cost reached "
      "cut-evo - 6 2 0.5 0.25 0.23 cut short damaged - 6 0 -0.25 -0.25 "
      "-0.314375 damaged evo - 6 2 0.5 0.25 0.23 all generations run - 6 "
      "0 -0.25 -0.25 -0.314375 all generations Last best costs of the "
      "runs (2 cut short or damaged left out) best -0.25 lower quartile "
      "-0.11875 median 0.0125 upper quartile 0.13125 near the lowest 1 of "
      "3, within max(0.01, 1% of |lowest|) of it ");
}

namespace {

// The value of an attribute in an element's opening tag; empty when absent.
std::string attribute(const std::string& tag, const std::string& name) {
  const auto at = tag.find(' ' + name + "=\""), from = at + name.size() + 3;
  return at == tag.npos ? "" : tag.substr(from, tag.find('"', from) - from);
}

bool isWhole(double x) { return std::fabs(x - std::round(x)) < 1e-6; }

// Tick labels in one notation, at least two: 0 and powers of ten; or from
// the second on consecutive multiples of one step of 1, 2 or 5 times a power
// of ten, after the multiple before them or the axis' own whole start.
bool isRound(const std::vector<std::string>& labels) {
  std::vector<double> v;
  std::set<bool> exponents;  // of labels but 0
  for (const std::string& label : labels) {
    v.push_back(std::stod(label));
    if (label != "0") exponents.insert(label.find('e') != label.npos);
  }
  const auto ten = [](double x) { return isWhole(std::log10(std::fabs(x))); };
  if (v.size() < 2 || exponents.size() > 1) return false;
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
// round, in one notation. No point of a line lies within 4 pixels of its
// plot's top or bottom.
TEST(ReportPictures, RoundTicksNoTextOverTextAndATableOfRuns) {
  ScratchDir s;
  // The README's parabolas, costs of both signs over many decades, costs
  // all alike; eight and twenty small runs on the parabolas.
  s.write("brief.txt", kBrief);
  ASSERT_EQ(runShell(s, "A='" APPROXIMATOR_EXE "'; "
                        R"(
    seq 20 | awk '{print 0.5+$1/10 "," 3-0.4*$1 "," 1+$1/5}' >v1
    printf -- '-3,1000,.01\n2,-.5,-200\n.001,40,-7\n-50,2,3' >v2
    printf '0,0,5\n0,0,5' >v3
    for r in 'parabolas 1 200 50 4' 'signs 2 100 10 3' 'alike 3 30 5 3'; do
      set -- $r; cp v$2 testVals.csv
      echo $3 $4 .05 .8 $5 | "$A" --evolve --seed 3 >$1.txt; done
    cp alike.txt 'ünï&<.txt'; cp v1 testVals.csv
    for k in $(seq 20); do
      echo 30 10 .05 .8 3 | "$A" --evolve --seed $k >many-$k.txt; done)"),
            0);
  std::string svg;
  for (const std::string args :
       {"parabolas.txt", "signs.txt", "alike.txt", "brief.txt", "ünï\\&\\<.txt",
        "parabolas.txt signs.txt alike.txt", "many-*.txt",
        "many-[1-5].txt many-1[0-2].txt"}) {
    runShell(s, "'" REPORT_EXE "' --svg p.svg " + args + " > out");
    svg = s.read("p.svg");
    std::vector<std::pair<std::array<double, 4>, std::string>> boxes;
    std::vector<std::vector<std::string>> ticks;      // axis by axis
    std::string last;                                 // the last text's style
    double top = 0, bottom = 0, low = 1e9, high = 0;  // of the last frame
    for (auto at = svg.find("\n<"); at != svg.npos;
         at = svg.find("\n<", at + 1)) {
      const auto end = svg.find('>', at);
      const std::string tag = svg.substr(at + 1, end - at - 1),
                        style = attribute(tag, "class"),
                        d = attribute(tag, "d");
      double y = 0, frameBottom = 0;
      if (std::sscanf(d.c_str(), "M%*f %lfV%lf", &y, &frameBottom) == 2)
        std::tie(top, bottom) = std::pair(y, frameBottom);
      for (auto p = d.find(','); style.starts_with("series") && p != d.npos;
           p = d.find(',', p + 1)) {
        y = std::stod(d.substr(p + 1));
        EXPECT_TRUE(top + 4 < y && y < bottom - 4) << args << ": " << d;
        if (style == "series r0")
          std::tie(low, high) = std::pair(std::min(low, y), std::max(high, y));
      }
      if (!tag.starts_with("<text")) continue;
      const std::string text =
          svg.substr(end + 1, svg.find('<', end) - end - 1);
      const double size = style == "title" ? 17 : 12,
                   width = 0.6 * size * static_cast<double>(text.size()),
                   anchor = style.starts_with("end")     ? 1
                            : style.starts_with("start") ? 0
                                                         : 0.5,
                   left = std::stod(attribute(tag, "x")) - anchor * width,
                   above = std::stod(attribute(tag, "y")) - 0.8 * size;
      for (const auto& [b, other] : boxes)
        EXPECT_FALSE(left < b[1] && b[0] < left + width && above < b[3] &&
                     b[2] < above + size)
            << args << ": \"" << text << "\" meets \"" << other << '"';
      boxes.push_back({{left, left + width, above, above + size}, text});
      EXPECT_TRUE(left >= 0 && left + width <= 720) << args << ": " << text;
      if (style.ends_with("tick") && style != last) ticks.emplace_back();
      if (style.ends_with("tick")) ticks.back().push_back(text);
      last = style;
    }
    for (const auto& labels : ticks)
      EXPECT_TRUE(isRound(labels)) << args << testing::PrintToString(labels);
    // Of the README's run: the floor, and the best line's fall from a gap
    // of 0.2 to none over most of the plot's height.
    if (args == "parabolas.txt") {
      EXPECT_NE(svg.find(">Gap to the lowest possible cost, 0.422109, by "),
                svg.npos);
      EXPECT_GT(high - low, 0.5 * (bottom - top)) << svg;
    }
    EXPECT_TRUE(args != "ünï\\&\\<.txt" ||
                svg.find(">ünï&amp;&lt;.txt; cost axis") != svg.npos);
    EXPECT_EQ(
        runShell(s, "! command -v xmllint >/dev/null || xmllint --noout p.svg"),
        0);
    // Twenty runs in a band, listed in natural order.
    if (args != "many-*.txt") continue;
    EXPECT_NE(svg.find(">median of 20 runs<"), std::string::npos);
    EXPECT_NE(svg.find("<path class=\"band\""), std::string::npos);
    const std::string table = s.read("out");
    for (int k = 1; k < 20; ++k)
      EXPECT_LT(table.find("\n  many-" + std::to_string(k) + ".txt "),
                table.find("\n  many-" + std::to_string(k + 1) + ".txt "));
  }
  // Eight runs in natural order, each a colour of its own.
  const std::string eight[] = {"1", "2", "3", "4", "5", "10", "11", "12"};
  std::set<std::string> colours;  // of the classes r0 to r7, by the style
  for (int k = 0; k < 8; ++k) {
    const std::string r{'r', static_cast<char>('0' + k)};
    EXPECT_NE(svg.find("<path class=\"sample " + r + "\" d=\"M515.0 " +
                       std::to_string(84 + 16 * k) +
                       ".0h24\"/>\n<text class=\"start\" x=\"545.0\" y=\"" +
                       std::to_string(88 + 16 * k) + ".0\">many-" + eight[k] +
                       ".txt<"),
              std::string::npos)
        << k;
    colours.insert(svg.substr(svg.find("." + r + "{stroke:") + 11, 7));
  }
  EXPECT_EQ(colours.size(), 8u);
}
