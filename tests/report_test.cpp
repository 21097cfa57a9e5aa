// Reports of hand-written transcripts, the histogram and its SVG picture,
// and the command line run for real. Every expected text is worked out from
// the transcript format by hand.
#include "report.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support.hpp"

using namespace report;

namespace {

const std::string kSep = "************************************************\n";

std::string setUp(const std::string& population = "3") {
  return kSep + "Function approximator application\n" + kSep +
         "Give me population size\nGive me generations\n"
         "Give me mutation rate\nGive me crossover rate\nGive me tree depth\n" +
         kSep + "Starting algorithm\nCharacteristics\n" + kSep +
         "Generations: 0\nPopulation size: " + population +
         "\nMutation rate: 0.1\nCrossover rate: 0.7\n";
}

std::string listing(int triples) {
  std::string text = kSep + "Test values: \n";
  for (int k = 0; k < triples; ++k) {
    text += "Var[" + std::to_string(3 * k) + "] --- a(1),b(2),c(3)\n";
  }
  return text + kSep;
}

// One individual: its expression, one Parsed/Result/Cost1 group per running
// cost, then the separator.
std::string individual(int index, const std::string& expression,
                       const std::vector<std::string>& costs) {
  std::string text =
      "Expression: " + std::to_string(index) + "\t---\t" + expression + "\n";
  for (const std::string& cost : costs) {
    text += "Parsed: 1+2\nResult (floating point): 3\nCost1: " + cost + "\n";
  }
  return text + kSep;
}

// Lines 1-21 are the set-up and a two-triple listing; individual i then
// takes lines 22 + 8i to 29 + 8i, and "FINISHED" is line 46.
const std::string kRun = setUp() + listing(2) +
                         individual(0, "b-asc*a", {"0.06", "-0.25"}) +
                         individual(1, "2", {"1", "inf"}) +
                         individual(2, "a+b", {"2", "0.75"}) + "FINISHED\n";

Transcript read(const std::string& text, std::size_t top = 10) {
  std::istringstream in(text);
  return readTranscript(in, top);
}

std::string reportOf(const std::string& text, std::size_t top = 10) {
  std::ostringstream out;
  writeReport(out, read(text, top));
  return out.str();
}

std::vector<std::size_t> rankedIndices(const Transcript& t) {
  std::vector<std::size_t> indices;
  for (const Ranked& r : t.best) indices.push_back(r.index);
  return indices;
}

std::string replaced(std::string text, const std::string& from,
                     const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

}  // namespace

TEST(Report, WholeReportOfASmallRun) {
  EXPECT_EQ(reportOf(kRun),
            "Run\n"
            "  population size  3\n"
            "  generations      0\n"
            "  mutation rate    0.1\n"
            "  crossover rate   0.7\n"
            "  test triples     2\n"
            "  individuals      3\n"
            "  transcript       complete\n"
            "\n"
            "Final costs\n"
            "  finite           2\n"
            "  inf              1\n"
            "  -inf             0\n"
            "  nan              0\n"
            "  no cost          0\n"
            "\n"
            "Best individuals by final cost (lower is better)\n"
            "  rank  index   cost  expression\n"
            "     1      0  -0.25  b-asc*a\n"
            "     2      2   0.75  a+b\n"
            "     3      1    inf  2\n"
            "\n"
            "Finite final costs\n"
            "  median           0.25\n"
            "  min              -0.25\n"
            "  max              0.75\n");
}

TEST(Report, RanksByFinalCostWithTiesInIndexOrder) {
  const std::vector<std::string> finals = {"inf",   "-inf", "nan",   "-nan",
                                           "1e+06", "-0",   "1e-07", "0"};
  std::string text = setUp("8") + listing(1);
  for (int i = 0; i < 8; ++i) text += individual(i, "a", {finals[i]});
  const Transcript t = read(text + "FINISHED\n");
  EXPECT_EQ(t.ending, Ending::kFinished);
  EXPECT_EQ((std::vector<std::size_t>{t.finite, t.inf, t.negInf, t.nan}),
            (std::vector<std::size_t>{4, 1, 1, 2}));
  // -inf, then -0 and 0 as equals in index order, up to inf, nan last.
  EXPECT_EQ(rankedIndices(t),
            (std::vector<std::size_t>{1, 5, 7, 6, 4, 0, 2, 3}));
  EXPECT_EQ(rankedIndices(read(text + "FINISHED\n", 3)),
            (std::vector<std::size_t>{1, 5, 7}));
}

TEST(Report, OnlyTheLastCostCounts) {
  const Transcript t =
      read(setUp() + listing(2) + individual(0, "a", {"-100", "5"}) +
           individual(1, "b", {"1", "2"}) + "FINISHED\n");
  EXPECT_EQ(rankedIndices(t), (std::vector<std::size_t>{1, 0}));
  EXPECT_EQ(t.best[0].cost, 2.0);
  EXPECT_EQ(t.finiteCosts, (std::vector<double>{5.0, 2.0}));
}

TEST(Report, KeepsTheBestOfManyWithASmallTop) {
  // Costs (7 i) mod 50 run through 0..49 once: 0 at i = 0, 1 at 43, 2 at 36.
  std::string text = setUp("50") + listing(1);
  for (int i = 0; i < 50; ++i) {
    text += individual(i, "c", {std::to_string(7 * i % 50)});
  }
  const Transcript t = read(text + "FINISHED\n", 3);
  EXPECT_EQ(rankedIndices(t), (std::vector<std::size_t>{0, 43, 36}));
  EXPECT_TRUE(read(text + "FINISHED\n", 0).best.empty());
}

TEST(Report, RunsWithoutCosts) {
  const std::string noFile = "Unable to open file: testVals.csv\n";
  const std::string empty =
      reportOf(setUp("-4") + noFile + listing(0) + "FINISHED\n");
  EXPECT_NE(empty.find("  population size  -4\n"), std::string::npos);
  EXPECT_NE(empty.find("  individuals      0\n"), std::string::npos);
  EXPECT_NE(empty.find("  none: the population is empty\n"), std::string::npos);
  EXPECT_NE(empty.find("Finite final costs\n  none\n"), std::string::npos);

  const std::string text = setUp("2") + noFile + listing(0) +
                           individual(0, "a", {}) + individual(1, "b", {}) +
                           "FINISHED\n";
  const Transcript t = read(text);
  EXPECT_TRUE(t.testFileMissing);
  EXPECT_EQ(t.noCost, 2u);
  EXPECT_TRUE(t.best.empty());
  const std::string report = reportOf(text);
  EXPECT_NE(report.find("  test triples     0 (the test-value file could "
                        "not be opened)\n"),
            std::string::npos);
  EXPECT_NE(report.find("  no cost          2\n"), std::string::npos);
  EXPECT_NE(report.find("  none: no individual has a final cost"),
            std::string::npos);
}

TEST(Report, CutShortTranscripts) {
  struct Case {
    std::string text;
    std::size_t individuals;
    std::optional<std::size_t> partial;
    std::size_t partialTriples;
  };
  const std::size_t individualTwo = kRun.find("Expression: 2");
  const Case cases[] = {
      {kRun.substr(0, kRun.size() - 9), 3, {}, 0},
      {setUp().substr(0, setUp().find("Population")), 0, {}, 0},
      // Individual 1 stops after its first cost, or within its second.
      {kRun.substr(0, kRun.find("Cost1: inf")), 1, 1, 1},
      {kRun.substr(0, kRun.find("Cost1: inf") + 9), 1, 1, 1},
      {kRun.substr(0, individualTwo - kSep.size()), 1, 1, 2},
      {kRun.substr(0, individualTwo + 22), 2, 2, 0},
      // Within the expression line nothing of individual 2 is known yet.
      {kRun.substr(0, individualTwo + 20), 2, {}, 0},
  };
  for (const Case& c : cases) {
    const Transcript t = read(c.text);
    EXPECT_EQ(t.ending, Ending::kCutShort) << c.text;
    EXPECT_EQ(t.individuals, c.individuals) << c.text;
    EXPECT_EQ(t.partialIndividual, c.partial) << c.text;
    EXPECT_EQ(t.partialTriples, c.partialTriples) << c.text;
  }
  EXPECT_NE(reportOf(cases[2].text)
                .find("  left out         individual 1, "
                      "cut after 1 of 2 triples\n"),
            std::string::npos);
  const std::string header = reportOf(cases[1].text);
  EXPECT_NE(header.find("  population size  ?\n"), std::string::npos);
  EXPECT_NE(header.find("  none: no individual was read in full\n"),
            std::string::npos);
  // The last word alone needs no newline to be whole.
  EXPECT_EQ(read(kRun.substr(0, kRun.size() - 1)).ending, Ending::kFinished);
}

TEST(Report, DamagedTranscriptsNameTheLine) {
  struct Case {
    std::string text;
    std::size_t line;
    std::string problem;
  };
  const Case cases[] = {
      {replaced(kRun, "Var[3]", "Var[6]"), 20, "expected \"Var[3] --- a(...)"},
      {replaced(kRun, "Expression: 1", "Expression: 7"), 30,
       "expected the expression of individual 1"},
      {replaced(kRun, "Cost1: inf", "Cost1: infinite?"), 36,
       "expected \"Cost1: \" of individual 1, triple 1"},
      {replaced(kRun, "Result (floating point): 3\nCost1: 2",
                "Result (floating point): \nCost1: 2"),
       40, "expected \"Result (floating point): \" of individual 2, triple 0"},
      {replaced(kRun, kSep + "FINISHED", "FINISHED"), 45,
       "expected the separator after individual 2"},
      {kRun + "\n\nmore\n", 49, "text after \"FINISHED\""},
      {replaced(kRun, "Give me generations", "Give me more"), 5,
       "expected \"Give me generations\""},
      {replaced(kRun, "Mutation rate: 0.1", "Mutation rate: x"), 15,
       "expected \"Mutation rate: \" and a number"},
  };
  for (const Case& c : cases) {
    const Transcript t = read(c.text);
    EXPECT_EQ(t.ending, Ending::kDamaged) << c.problem;
    EXPECT_EQ(t.problemLine, c.line) << c.problem;
    EXPECT_TRUE(t.problem.starts_with(c.problem)) << t.problem;
  }
  // The individuals before the damage are still reported.
  EXPECT_EQ(read(cases[2].text).individuals, 1u);
}

TEST(Report, RecognisesOnlyTheProgramsTranscripts) {
  for (const std::string& text :
       {std::string(), std::string("hello\n"), kSep + "Another program\n",
        kSep.substr(0, 20), std::string("\0\xff\n\n", 4),
        "Function approximator application\n" + kSep}) {
    EXPECT_EQ(read(text).ending, Ending::kNotTranscript) << text;
  }
  // Windows line ends, and standard error mixed in with 2>&1, change nothing.
  std::string crlf;
  for (char ch : kRun)
    crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  const std::string noted =
      replaced(kRun, "Expression: 1",
               "function-approximator: warning: testVals.csv holds 7 values\n"
               "Expression: 1");
  for (const std::string& text : {crlf, noted}) {
    const Transcript t = read(text);
    EXPECT_EQ(t.ending, Ending::kFinished);
    EXPECT_EQ(rankedIndices(t), (std::vector<std::size_t>{0, 2, 1}));
  }
}

TEST(Report, ShortensLongExpressionsToOneHundredColumns) {
  const std::string longOne(5000, 'a');
  const std::string text = setUp("2") + listing(1) +
                           individual(0, longOne, {"1"}) +
                           individual(1, "b\tc\x1b", {"2"}) + "FINISHED\n";
  std::istringstream lines(reportOf(text));
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  const auto first = std::find_if(rows.begin(), rows.end(), [](auto& row) {
    return row.starts_with("     1      0");
  });
  ASSERT_NE(first, rows.end());
  // Columns: 2 + rank 4 + 2 + index 5 + 2 + cost 4 + 2 = 21 before the text.
  EXPECT_EQ(*first, "     1      0     1  " + std::string(76, 'a') + "...");
  EXPECT_EQ(first[1], "     2      1     2  b?c?");
  for (const std::string& row : rows) EXPECT_LE(row.size(), 100u) << row;
}

TEST(Report, MedianAndRange) {
  struct Case {
    std::vector<double> costs;
    double median, min, max;
  };
  const Case cases[] = {
      {{3, 1, 2}, 2, 1, 3},
      {{4, -1, 3, 2}, 2.5, -1, 4},
      {{7}, 7, 7, 7},
      {{-DBL_MAX, DBL_MAX}, 0, -DBL_MAX, DBL_MAX},
      {{DBL_MAX, DBL_MAX}, DBL_MAX, DBL_MAX, DBL_MAX},
      {{0x1.8p1023, 0x1p1023}, 0x1.4p1023, 0x1p1023, 0x1.8p1023},
  };
  for (const Case& c : cases) {
    const std::optional<Spread> s = spreadOf(c.costs);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->median, c.median);
    EXPECT_EQ(s->min, c.min);
    EXPECT_EQ(s->max, c.max);
  }
  EXPECT_FALSE(spreadOf({}).has_value());
}

TEST(Histogram, BinsOnALinearOrASymmetricLogAxis) {
  struct Case {
    std::vector<double> costs;
    Scale scale;
    std::vector<std::size_t> counts;
  };
  const double inf = INFINITY;
  const Case cases[] = {
      // ceil(sqrt(n)) bins of equal width; the largest cost closes the last.
      {{0, 1, 2, 3}, Scale::kLinear, {2, 2}},
      {{9, 8, 7, 6, 5, 4, 3, 2, 1}, Scale::kLinear, {3, 3, 3}},
      {{inf, NAN, 1, 2}, Scale::kLinear, {1, 1}},
      // Four decades: log10(1 + x) puts 1 and 10 below 1.53, 100 below 2.77.
      {{1, 10, 100, 1000, 10000}, Scale::kSymLog, {2, 1, 2}},
      {{-1e6, -1, 0, 1, 1e6}, Scale::kSymLog, {1, 3, 1}},
      // Magnitudes 800 apart stay linear, 1600 apart do not.
      {{0.5, 400}, Scale::kLinear, {1, 1}},
      {{0.25, -400}, Scale::kSymLog, {1, 1}},
      // All alike: one bar in the middle.
      {{5}, Scale::kLinear, {0, 1, 0}},
      {{0, 0}, Scale::kLinear, {0, 2, 0}},
      {{}, Scale::kLinear, {}},
  };
  for (const Case& c : cases) {
    const Histogram h = makeHistogram(c.costs);
    EXPECT_EQ(h.scale, c.scale) << ::testing::PrintToString(c.costs);
    EXPECT_EQ(h.counts, c.counts) << ::testing::PrintToString(c.costs);
    EXPECT_EQ(h.edges.size(), c.counts.empty() ? 0 : c.counts.size() + 1);
  }
  const Histogram single = makeHistogram({5});
  EXPECT_EQ(single.lo, 5 - 0.625);
  EXPECT_EQ(single.hi, 5 + 0.625);
  EXPECT_EQ(makeHistogram({1, 10, 100, 1000, 10000}).threshold, 1.0);
}

namespace {

// A small XML checker: tags balance, attribute values and text hold no raw
// '<' or stray '&'. Returns the elements' start tags, or fails the test.
std::vector<std::string> startTags(const std::string& svg) {
  std::vector<std::string> tags;
  std::vector<std::string> open;
  std::size_t at = svg.find("?>");
  EXPECT_TRUE(svg.starts_with("<?xml ") && at != std::string::npos);
  for (at += 2; at < svg.size();) {
    const std::size_t begin = svg.find('<', at);
    const std::string text = svg.substr(at, begin - at);
    for (std::size_t amp = text.find('&'); amp != std::string::npos;
         amp = text.find('&', amp + 1)) {
      const std::string entity =
          text.substr(amp, text.find(';', amp) - amp + 1);
      EXPECT_TRUE(entity == "&amp;" || entity == "&lt;" || entity == "&gt;" ||
                  entity == "&quot;" || entity == "&apos;")
          << entity;
    }
    if (begin == std::string::npos) break;
    const std::size_t end = svg.find('>', begin);
    const std::string tag = svg.substr(begin + 1, end - begin - 1);
    EXPECT_EQ(tag.find('<'), std::string::npos) << tag;
    const std::string name = tag.substr(0, tag.find_first_of(" />"));
    if (tag.starts_with("/")) {
      EXPECT_TRUE(!open.empty() && "/" + open.back() == tag) << tag;
      if (!open.empty()) open.pop_back();
    } else {
      tags.push_back(tag);
      if (!tag.ends_with("/")) open.push_back(name);
    }
    at = end + 1;
  }
  EXPECT_TRUE(open.empty());
  return tags;
}

std::size_t countTags(const std::vector<std::string>& tags,
                      const std::string& prefix) {
  return static_cast<std::size_t>(std::count_if(
      tags.begin(), tags.end(),
      [&](const std::string& tag) { return tag.starts_with(prefix); }));
}

}  // namespace

TEST(Svg, WellFormedWithOneBarPerNonEmptyBin) {
  struct Case {
    std::vector<double> costs;
    std::size_t bars;
    std::string scaleNote;
  };
  const Case cases[] = {
      {{}, 0, "No finite final costs"},
      {{0.25}, 1, "linear axis"},
      {{9, 8, 7, 6, 5, 4, 3, 2, 1}, 3, "linear axis"},
      {{0, 0.5, 5, 4, 1}, 2, "linear axis"},  // bins [0,5/3), [5/3,10/3), ...
      {{-1e6, -1, 0, 1, 1e6},
       3,
       "symmetric log axis, linear within \xc2\xb1"
       "1"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    writeSvg(out, makeHistogram(c.costs), "run <1> & \"two\"\xff.txt");
    const std::string svg = out.str();
    const std::vector<std::string> tags = startTags(svg);
    EXPECT_EQ(countTags(tags, "rect class=\"bar\""), c.bars) << svg;
    EXPECT_NE(svg.find(c.scaleNote), std::string::npos) << svg;
    EXPECT_NE(svg.find("run &lt;1&gt; &amp; &quot;two&quot;?.txt"),
              std::string::npos);
    EXPECT_EQ(svg.find("<script"), std::string::npos);
    EXPECT_EQ(svg.find("href"), std::string::npos);
    if (c.bars > 0) {
      EXPECT_GE(countTags(tags, "text class=\"axis-label\""), 2u);
      EXPECT_GE(countTags(tags, "text x="), 4u);  // tick labels
    }
  }
}

TEST(Svg, EscapesTextIntoValidXml) {
  EXPECT_EQ(xmlEscape("a<b>&'\"c"), "a&lt;b&gt;&amp;&apos;&quot;c");
  EXPECT_EQ(xmlEscape("\x01x\ty"), "?x\ty");
  EXPECT_EQ(xmlEscape("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82"),
            "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x99\x82");
  // Cut, overlong, surrogate and non-character sequences become '?'.
  EXPECT_EQ(xmlEscape("\xc3"), "?");
  EXPECT_EQ(xmlEscape("\xc0\xaf"), "??");
  EXPECT_EQ(xmlEscape("\xed\xa0\x80"), "???");
  EXPECT_EQ(xmlEscape("\xef\xbf\xbf"), "???");
}

TEST(Options, ParsesTheCommandLine) {
  struct Case {
    std::vector<std::string> args;
    std::size_t top;
    std::optional<std::string> svg;
    std::string input;
  };
  const Case cases[] = {
      {{}, 10, {}, "-"},
      {{"--top", "3", "run.txt"}, 3, {}, "run.txt"},
      {{"--top=0", "--svg=h.svg", "-"}, 0, "h.svg", "-"},
      {{"--svg", "h.svg", "--", "--top"}, 10, "h.svg", "--top"},
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<Options> o = parseOptions(c.args, error);
    ASSERT_TRUE(o.has_value()) << error;
    EXPECT_EQ(o->top, c.top);
    EXPECT_EQ(o->svgFile, c.svg);
    EXPECT_EQ(o->input, c.input);
    EXPECT_FALSE(o->help);
  }
  std::string error;
  EXPECT_TRUE(parseOptions({"--help"}, error)->help);
}

TEST(Options, RejectsBadOnes) {
  const std::vector<std::vector<std::string>> cases = {
      {"--top"},       {"--top", "-1"}, {"--top", "x"},
      {"--top", "3x"}, {"--top", ""},   {"--top", "99999999999999999999999"},
      {"--bogus"},     {"-x"},          {"a", "b"},
      {"--svg"},       {"--svg="},      {"--svg", "-"},
      {"--topx"},
  };
  for (const auto& args : cases) {
    std::string error;
    EXPECT_FALSE(parseOptions(args, error).has_value()) << args[0];
    EXPECT_FALSE(error.empty());
  }
}

namespace {

// Runs a command in the scratch directory with its output kept in out.txt
// and err.txt.
int runIn(const ScratchDir& dir, const std::string& command) {
  return runShell(dir, command + " > out.txt 2> err.txt");
}

}  // namespace

TEST(Command, ExitStatusesAndMessages) {
  ScratchDir s;
  s.write("run.txt", kRun);
  s.write("cut.txt", kRun.substr(0, kRun.find("Expression: 2")));
  s.write("damaged.txt", replaced(kRun, "Cost1: 0.75", "Cost1: ?"));
  s.write("other.txt", "hello\n");
  std::filesystem::create_directory(s.path() / "folder");
  struct Case {
    std::string args;
    int status;
    std::string out, err;
  };
  const std::string exe = REPORT_EXE;
  const Case cases[] = {
      {"--help", 0, "Usage: function-approximator-report", ""},
      {"--bogus run.txt", 2, "", "unknown option \"--bogus\""},
      {"--top -3 run.txt", 2, "", "--top wants a whole number"},
      {"folder", 1, "", "folder: is a directory"},
      {"missing.txt", 1, "", "cannot open missing.txt"},
      {"other.txt", 1, "", "is not a transcript of function-approximator"},
      {"- < cut.txt", 3, "  individuals      2\n", "the run was cut short"},
      {"damaged.txt", 1, "  individuals      2\n", "damaged.txt: line 44"},
      {"--top 1 < run.txt", 0, "     1      0  -0.25  b-asc*a\n\n", ""},
      {"--svg no/such/dir.svg run.txt", 1, "Final costs", "cannot create"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runIn(s, "'" + exe + "' " + c.args), c.status) << c.args;
    EXPECT_NE(s.read("out.txt").find(c.out), std::string::npos) << c.args;
    const std::string err = s.read("err.txt");
    EXPECT_TRUE(c.err.empty() ? err.empty()
                              : err.find(c.err) != std::string::npos)
        << c.args << ": " << err;
  }
}

// A real run: the ranking must follow the last "Cost1: " of each individual,
// read here straight from the transcript's lines.
TEST(Command, RanksARealRunByItsFinalCostLines) {
  ScratchDir s;
  s.write("testVals.csv", "1,2,3\n-1,0.5,4\n2,-3,0.25\n0,0,0\n1e3,-7,2\n");
  ASSERT_EQ(
      runIn(s, "printf '60 0 0 0 3\\n' | '" + std::string(APPROXIMATOR_EXE) +
                   "' > run.txt; '" + std::string(REPORT_EXE) +
                   "' --top 60 --svg h.svg run.txt"),
      0);
  std::istringstream lines(s.read("run.txt"));
  std::vector<std::pair<double, std::size_t>> finals;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("Expression: "))
      finals.push_back({0.0, finals.size()});
    if (line.starts_with("Cost1: "))
      finals.back().first = std::stod(line.substr(7));
  }
  ASSERT_EQ(finals.size(), 60u);
  std::istringstream again(s.read("run.txt"));
  const Transcript t = readTranscript(again, 60);
  ASSERT_EQ(t.best.size(), 60u);
  for (std::size_t k = 0; k < t.best.size(); ++k) {
    const double cost = finals[t.best[k].index].first;
    EXPECT_EQ(std::isnan(t.best[k].cost), std::isnan(cost));
    if (!std::isnan(cost)) {
      EXPECT_EQ(t.best[k].cost, cost);
    }
    if (k == 0) continue;
    const double before = finals[t.best[k - 1].index].first;
    const bool inOrder =
        std::isnan(cost) ? true
        : std::isnan(before)
            ? false
            : before < cost ||
                  (before == cost && t.best[k - 1].index < t.best[k].index);
    EXPECT_TRUE(inOrder) << k;
  }
  const Histogram h = makeHistogram(t.finiteCosts);
  const std::size_t nonEmpty = static_cast<std::size_t>(std::count_if(
      h.counts.begin(), h.counts.end(), [](auto n) { return n > 0; }));
  EXPECT_EQ(countTags(startTags(s.read("h.svg")), "rect class=\"bar\""),
            nonEmpty);
}
