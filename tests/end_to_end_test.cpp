// Runs of the real executable in a scratch directory, with the transcripts
// they must print written out by hand.
#include <gtest/gtest.h>

#include <string>

#include "support.hpp"

namespace {

const std::string kSep = "************************************************\n";

// Banner, prompts, characteristics and echo, for the echoed texts given.
std::string setUp(const std::string& generations, const std::string& size,
                  const std::string& mutation, const std::string& crossover) {
  return kSep + "Function approximator application\n" + kSep +
         "Give me population size\nGive me generations\n"
         "Give me mutation rate\nGive me crossover rate\nGive me tree depth\n" +
         kSep + "Starting algorithm\nCharacteristics\n" + kSep +
         "Generations: " + generations + "\nPopulation size: " + size +
         "\nMutation rate: " + mutation + "\nCrossover rate: " + crossover +
         "\n";
}

const std::string kNoFile = "Unable to open file: testVals.csv\n";
// The listing block, one "Var[" line per triple given as "a(..),b(..),c(..)".
std::string listing(std::initializer_list<std::string> triples = {}) {
  std::string text = kSep + "Test values: \n";
  std::size_t k = 0;
  for (const std::string& triple : triples) {
    text += "Var[" + std::to_string(k) + "] --- " + triple + "\n";
    k += 3;
  }
  return text + kSep;
}

const std::string kEmptyListing = listing();

std::string expressionLine(int index, const std::string& expression) {
  return "Expression: " + std::to_string(index) + "\t---\t" + expression + "\n";
}

std::string evaluation(const std::string& parsed, const std::string& result,
                       const std::string& cost) {
  return "Parsed: " + parsed + "\nResult (floating point): " + result +
         "\nCost1: " + cost + "\n";
}

}  // namespace

TEST(EndToEnd, DialogueListingAndExpressionsWithoutAFile) {
  ScratchDir dir;
  // Depth 2 takes 14 draws a tree; individual 0 reads
  // term(r14) op(r10) term(r12) op(r2) term(r8) op(r4) term(r6).
  const std::string expected =
      setUp("5", "3", "0.1", "0.7") + kNoFile + kEmptyListing +
      expressionLine(0, "2-2-a+2") + kSep + expressionLine(1, "2sc-a-a") +
      kSep + expressionLine(2, "b-c+2*c") + kSep + "FINISHED\n";
  const RunResult oneLine = runProgram(dir, "3 5 0.1 0.7 2\n");
  EXPECT_EQ(oneLine.out, expected);
  EXPECT_EQ(oneLine.err, "");
  EXPECT_EQ(oneLine.status, 0);
  const RunResult fiveLines = runProgram(dir, "3\n5\n\n0.1\n  0.7\n2");
  EXPECT_EQ(fiveLines.out, expected);
}

TEST(EndToEnd, DialogueFailuresLeaveZeros) {
  struct Case {
    const char* input;
    std::string echo;
    std::string expressions;
  };
  const Case cases[] = {
      {"", setUp("0", "0", "0", "0"), ""},
      {"x 1 2 3 4", setUp("0", "0", "0", "0"), ""},
      // 3 is read, the point then fails the generations and all that follow;
      // depth 0 gives one-leaf trees from draws 2, 4 and 6.
      {"3.7 5 1 1 4", setUp("0", "3", "0", "0"),
       expressionLine(0, "c") + kSep + expressionLine(1, "2") + kSep +
           expressionLine(2, "2") + kSep},
      {"0 7 0.1 1e-7 0", setUp("7", "0", "0.1", "1e-07"), ""},
      {"0 -2 1000000 0.25 9", setUp("-2", "0", "1e+06", "0.25"), ""},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const RunResult run = runProgram(dir, c.input);
    EXPECT_EQ(run.out,
              c.echo + kNoFile + kEmptyListing + c.expressions + "FINISHED\n")
        << c.input;
    EXPECT_EQ(run.status, 0);
  }
}

TEST(EndToEnd, ListsCompleteTriplesVerbatim) {
  ScratchDir dir;
  dir.write("testVals.csv", "1,2,3\n4,5,6\n1.50, x ,-0\n");
  const RunResult run = runProgram(dir, "0 0 0 0 0\n");
  EXPECT_EQ(run.out, setUp("0", "0", "0", "0") +
                         listing({"a(1),b(2),c(3)", "a(4),b(5),c(6)",
                                  "a(1.50),b( x ),c(-0)"}) +
                         "FINISHED\n");
  EXPECT_EQ(run.err, "");
}

TEST(EndToEnd, IncompleteTrailingGroupIsSkippedWithAWarning) {
  ScratchDir dir;
  dir.write("testVals.csv", "1,2,3\n4,5\n");
  const RunResult run = runProgram(dir, "1 0 0 0 0\n");
  EXPECT_EQ(run.out, setUp("0", "1", "0", "0") + listing({"a(1),b(2),c(3)"}) +
                         expressionLine(0, "c") + evaluation("3", "3", "0.18") +
                         kSep + "FINISHED\n");
  EXPECT_NE(run.err.find("2 values are ignored"), std::string::npos) << run.err;
  EXPECT_EQ(run.status, 0);
}

TEST(EndToEnd, NegativePopulationRunsEmpty) {
  ScratchDir dir;
  const RunResult run = runProgram(dir, "-3 2 0 0 1\n");
  EXPECT_EQ(run.out, setUp("2", "-3", "0", "0") + kNoFile + kEmptyListing +
                         "FINISHED\n");
  EXPECT_NE(run.err.find("negative"), std::string::npos) << run.err;
  EXPECT_EQ(run.status, 0);
}

TEST(EndToEnd, PopulationsThatCannotBeBuiltAreRefused) {
  struct Case {
    const char* input;
    std::string echo;
  };
  const Case cases[] = {
      {"1000000000 1 0 0 25\n", setUp("1", "1000000000", "0", "0")},
      // Too large for an int: the stream stores the limit and fails.
      {"99999999999 1 1 1 1\n", setUp("0", "2147483647", "0", "0")},
      {"1 0 0 0 31\n", setUp("0", "1", "0", "0")},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const RunResult run = runProgram(dir, c.input);
    EXPECT_EQ(run.out, c.echo) << c.input;
    EXPECT_NE(run.err.find("cannot build"), std::string::npos) << run.err;
    EXPECT_EQ(run.status, 1);
  }
  // An empty population builds nothing, whatever the depth.
  ScratchDir dir;
  const RunResult run = runProgram(dir, "0 0 0 0 2000000000\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

TEST(EndToEnd, WorkedExampleThroughTheThirdValue) {
  // Population 1 at depth 0 is the single expression "c": the third value of
  // each triple reaches the evaluator verbatim, and atof reads its prefix
  // for the cost.
  ScratchDir dir;
  dir.write("testVals.csv", "4,4,4+2*4s9\n4,4,6*2/4+1\n1,2,5--3\n");
  const RunResult run = runProgram(dir, "1 0 0 0 0\n");
  EXPECT_EQ(run.out,
            setUp("0", "1", "0", "0") +
                listing({"a(4),b(4),c(4+2*4s9)", "a(4),b(4),c(6*2/4+1)",
                         "a(1),b(2),c(5--3)"}) +
                expressionLine(0, "c") +
                // 4*15^2 + 4*15 + 4 = 964
                evaluation("4+2*4s9", "15", "9.64") +
                // 4*4^2 + 4*4 + 6 = 86
                evaluation("6*2/4+1", "4", "10.5") +
                // 8^2 + 2*8 + 5 = 85
                evaluation("5+3", "8", "11.35") + kSep + "FINISHED\n");
}

TEST(EndToEnd, FourTreesOfDepthTwoOnThreeTriples) {
  ScratchDir dir;
  dir.write("testVals.csv", "1,2,3\n-1,0.5,4\n2,-3,0.25\n");
  const RunResult run = runProgram(dir, "4 0 0 0 2\n");
  EXPECT_EQ(
      run.out,
      setUp("0", "4", "0", "0") +
          listing(
              {"a(1),b(2),c(3)", "a(-1),b(0.5),c(4)", "a(2),b(-3),c(0.25)"}) +
          expressionLine(0, "2-2-a+2") + evaluation("2-2-1+2", "1", "0.06") +
          evaluation("2-2+1+2", "3", "0.025") +
          evaluation("2-2-2+2", "0", "0.0275") + kSep +
          expressionLine(1, "2sc-a-a") +
          evaluation("2s3-1-1", "1.73205", "0.094641") +
          evaluation("2s4+1+1", "6", "-0.195359") +
          evaluation("2s0.25-2-2", "-1.5", "-0.102859") + kSep +
          expressionLine(2, "b-c+2*c") + evaluation("2-3+2*3", "5", "0.38") +
          evaluation("0.5-4+2*4", "4.5", "0.24") +
          evaluation("-3-0.25+2*0.25", "-2.75", "0.47625") + kSep +
          expressionLine(3, "b-asc*a") +
          evaluation("2-1s3*1", "-0.732051", "0.020718") +
          evaluation("0.5+1s4*-1", "-0.5", "0.055718") +
          evaluation("-3-2s0.25*2", "-8", "1.57822") + kSep + "FINISHED\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
}

TEST(EndToEnd, InfinitiesAndNaNFlowIntoTheCosts) {
  // Individual 0 is "c", individual 1 is "2"; each starts its cost afresh.
  ScratchDir dir;
  dir.write("testVals.csv", "1,1,1/0\r\n1,1,0/0\r\n");
  const RunResult run = runProgram(dir, "2 0 0 0 0\n");
  EXPECT_EQ(run.out, setUp("0", "2", "0", "0") +
                         listing({"a(1),b(1),c(1/0\r)", "a(1),b(1),c(0/0\r)"}) +
                         expressionLine(0, "c") +
                         evaluation("1/0\r", "inf", "inf") +
                         evaluation("0/0\r", "-nan", "-nan") + kSep +
                         expressionLine(1, "2") +
                         // 4 + 2 + 1 = 7, then 4 + 2 + 0 = 6
                         evaluation("2", "2", "0.07") +
                         evaluation("2", "2", "0.13") + kSep + "FINISHED\n");
}

TEST(EndToEnd, FailedOutputIsAnErrorAndABrokenPipeIsQuiet) {
  ScratchDir dir;
  dir.write("testVals.csv", "1,2,3\n4,5,6\n");
  for (const char* redirect : {"> /dev/full", ">&-"}) {
    const RunResult run = runProgram(dir, "2 0 0 0 3\n", redirect);
    EXPECT_EQ(run.status, 1) << redirect;
    EXPECT_NE(run.err.find("cannot write to standard output"),
              std::string::npos)
        << redirect << ": " << run.err;
  }
  // A reader that stops early ends the run quietly, long before its end.
  const RunResult run =
      runProgram(dir, "2000 0 0 0 4\n", "| head -n 3 > .stdout");
  EXPECT_EQ(run.out, kSep + "Function approximator application\n" + kSep);
  EXPECT_EQ(run.err, "");
}
