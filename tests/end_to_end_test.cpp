// Runs of the real executable in a scratch directory, with the transcripts
// they must print written out by hand.
#include <gtest/gtest.h>

#include "support.hpp"

namespace {

// A transcript written as its lines, each ended by '|'; a line "*" stands
// for the separator line of 48 asterisks.
std::string lines(const std::string& joined) {
  std::string out;
  std::istringstream parts(joined);
  for (std::string line; std::getline(parts, line, '|');)
    out += (line == "*" ? std::string(48, '*') : line) + "\n";
  return out;
}

// Banner, prompts, characteristics and the echoed answers.
std::string setUp(const std::string& gens, const std::string& size,
                  const std::string& mutation, const std::string& crossover) {
  return lines(
      "*|Function approximator application|*|Give me population size|Give "
      "me generations|Give me mutation rate|Give me crossover rate|Give me "
      "tree depth|*|Starting algorithm|Characteristics|*|Generations: " +
      gens + "|Population size: " + size + "|Mutation rate: " + mutation +
      "|Crossover rate: " + crossover + "|");
}

// Standard error written as its lines, each ended by '|', each after the
// program's name.
std::string said(const std::string& joined) {
  std::string err;
  std::istringstream parts(joined);
  for (std::string line; std::getline(parts, line, '|');)
    err += "function-approximator: " + line + "\n";
  return err;
}

// Without testVals.csv: its message and an empty listing, and on standard
// error why.
const std::string kNoValues =
    "Unable to open file: testVals.csv|*|Test values: |*|";
// An empty testVals.csv: no note, and an empty listing.
const std::string kEmpty = "*|Test values: |*|";
const std::string kNoFile =
    "warning: cannot open testVals.csv: No such file or directory; the run "
    "has no test values|";
// The lone leaf c of a depth 0 tree (draw 2) on the triple 1, 2, 3: cost
// (9 + 6 + 3) / 100; on -1, 0.5, 4 as well: (-16 + 2 + 4) / 100 more.
const std::string kLeafC3 =
    "Expression: 0\t---\tc|Parsed: 3|Result (floating point): 3|Cost1: "
    "0.18|*|";
const std::string kLeafC34 =
    "Expression: 0\t---\tc|Parsed: 3|Result (floating point): 3|Cost1: "
    "0.18|Parsed: 4|Result (floating point): 4|Cost1: 0.08|*|";
// Nothing to run: the setting up and an empty listing.
const std::string kNothing =
    setUp("0", "0", "0", "0") + lines(kEmpty + "FINISHED|");
// The record of an unseeded evolving run, before its first generation line.
std::string record(const std::string& answers) {
  return "Run: function-approximator " APPROXIMATOR_VERSION
         "\t---\tCommand: printf '" +
         answers + "\\n' | function-approximator --evolve --seed 1\n";
}
// A generation's line, around its best and median cost.
const std::string kGeneration1 = "Generation: 1\t---\tBest cost: ";
const std::string kGeneration1Rest =
    "\t---\tNon-finite costs: 0\t---\tBest expression: c|*|";
const std::string kGenerations5 =
    "note: a plain run does not run the 5 generations asked for; --evolve "
    "does|";

}  // namespace

TEST(EndToEnd, Runs) {
  struct Case {
    std::string input;
    const char* values;  // testVals.csv, a path it links to, or none
    std::string redirect;
    int status;
    std::string err, out;
    std::uint64_t addressSpace = 0;  // RLIMIT_AS of the run, 0 for none
  };
  const Case cases[] = {
      // Depth 2 takes two draws a node, the first discarded: a tree reads
      // left leaf (draw 14), operator (10), leaf (12), root (2), leaf (8),
      // operator (4), right leaf (6), where draw n picks eqVar[r_n % 4] or
      // opVar[r_n % 5] from 1804289383, 846930886, 1681692777, ...
      {"2\n5\n\n0.1\n  0.7\n2", nullptr, "", 0, kGenerations5 + kNoFile,
       setUp("5", "2", "0.1", "0.7") +
           lines(kNoValues + "Expression: 0\t---\t2-2-a+2|*|Expression: "
                             "1\t---\t2sc-a-a|*|FINISHED|")},
      // --seed 1 is the unseeded sequence; seed 2 draws 1505335290,
      // 1738766719, 190686788, ... and seed 2^32 - 1 254925627, 1205188300,
      // 366127624, ... (glibc's srand): depth 1 reads left leaf (draw 6),
      // operator (2), right leaf (4).
      {"2 0 0 0 1", nullptr, "--seed 2 > .stdout", 0, kNoFile,
       setUp("0", "2", "0", "0") +
           lines(kNoValues + "Expression: 0\t---\tcs2|*|Expression: "
                             "1\t---\t2*2|*|FINISHED|")},
      {"2 0 0 0 1", nullptr, "--seed=4294967295 > .stdout", 0, kNoFile,
       setUp("0", "2", "0", "0") +
           lines(kNoValues + "Expression: 0\t---\tc+b|*|Expression: "
                             "1\t---\tb/a|*|FINISHED|")},
      // Input that ends names the answers it did not give.
      {"", nullptr, "", 0,
       "note: the input ended before the population size, the number of "
       "generations, the mutation rate, the crossover rate and the tree depth "
       "were given; each was taken as 0|" +
           kNoFile,
       setUp("0", "0", "0", "0") + lines(kNoValues + "FINISHED|")},
      // The point ends the size and fails every later read. A depth 0 tree
      // is one leaf, from draw 2.
      // A typo is read as before, and the first answer it touches is named.
      // The second leaf comes from draw 4.
      {"2OO 5 0.1 0.7 2", "", "", 0,
       "note: the population size was read as 2: the answer ends at 'O', and "
       "the later answers are 0",
       setUp("0", "2", "0", "0") +
           lines(kEmpty +
                 "Expression: 0\t---\tc|*|Expression: 1\t---\t2|*|FINISHED|")},
      // What follows a number that stops short may be the next answer.
      {"0-4 0.5 0.25 1", "", "", 0,
       "note: the population size was read as 0: the answer ends at '-', "
       "where the number of generations begins",
       setUp("-4", "0", "0.5", "0.25") + lines(kEmpty + "FINISHED|")},
      {"0 0 0 0 2x", "", "", 0,
       "note: the tree depth was read as 2: the answer ends at 'x'", kNothing},
      // Numbers beyond their type saturate and fail the later reads.
      {"0 99999999999 0.5 1 1", "", "", 0,
       "note: the number of generations is out of range for its type and was "
       "read as 2147483647; the later answers are 0|note: a plain run does "
       "not run the 2147483647 generations asked for; --evolve does",
       setUp("2147483647", "0", "0", "0") + lines(kEmpty + "FINISHED|")},
      {"0 0 -1e39 1 1", "", "", 0,
       "note: the mutation rate is out of range for its type and was read as "
       "-3.40282e+38; the later answers are 0",
       setUp("0", "0", "-3.40282e+38", "0") + lines(kEmpty + "FINISHED|")},
      {"x 1", "", "", 0,
       "note: the population size could not be read; it and the later answers "
       "are 0",
       kNothing},
      // A negative depth grows the trees of depth 0.
      {"1 0 0 0 -2", "", "", 0,
       "note: the tree depth -2 is negative; every tree is a single leaf, as "
       "at depth 0",
       setUp("0", "1", "0", "0") +
           lines(kEmpty + "Expression: 0\t---\tc|*|FINISHED|")},
      // A header row is listed as it stands; a line of a carriage return
      // alone is a value that is not a number, one that ends in one is.
      {"0 0 0 0 0", "a,b,3\r\n\r\n4x,5\r\n", "", 0,
       "note: testVals.csv holds 4 values that are not numbers, the first "
       "\"a\"",
       setUp("0", "0", "0", "0") +
           lines("*|Test values: |Var[0] --- a(a),b(b),c(3\r)|Var[3] --- "
                 "a(\r),b(4x),c(5\r)|*|FINISHED|")},
      // A negative size is an empty population, never refused.
      {"-3 -2 1000000 1e-7 31", "", "", 0,
       "note: the population size -3 is negative; the population is empty",
       setUp("-2", "-3", "1e+06", "1e-07") + lines(kEmpty + "FINISHED|")},
      // "c" and "2" on two triples: the cost adds (a r^2 + b r + c) / 100
      // per triple, 0.18 - 0.1 for the first, 0.11 + 0.01 for the second.
      // Cells are cut at every comma but a line's last; a blank line has
      // none; a carriage return and blanks stay in the text (atof skips
      // them).
      {"2 0 0 0 0", "1,2,\n\n3,-1\r\n 0.50,4,,\n2", "", 0,
       "warning: testVals.csv holds 8 values, not a multiple of three; the "
       "last 2 values are ignored",
       setUp("0", "2", "0", "0") +
           lines("*|Test values: |Var[0] --- a(1),b(2),c(3)|Var[3] --- "
                 "a(-1\r),b( 0.50),c(4)|*|" +
                 kLeafC34 +
                 "Expression: 1\t---\t2|Parsed: 2|Result (floating point): "
                 "2|Cost1: 0.11|Parsed: 2|Result (floating point): 2|Cost1: "
                 "0.12|*|FINISHED|")},
      {"1 0 0 0 31\n", nullptr, "", 1,
       "cannot build trees of depth 31: the deepest tree whose expression "
       "fits 32-bit positions has depth 30",
       setUp("0", "1", "0", "0")},
      {"2 0 0 0 3", nullptr, "> /dev/full", 1,
       "cannot write to standard output: No space left on device", ""},
      // Help or a version that cannot be written fails as a run does (an
      // option may be shortened).
      {"", nullptr, "--vers >&-", 1,
       "cannot write to standard output: Bad file descriptor", ""},
      // A reader that goes away ends the run at once and quietly.
      {"2000 0 0 0 9", "1,2,3", "| head -n 3 > .stdout", 0, "",
       lines("*|Function approximator application|*|")},
      // Two populations of 200 trees of 2047 nodes need 43.5 MiB beside the
      // program's own 6 MiB or so, more on a second thread (see
      // MemoryCheck): refused at 49 MB, where they would run out, and one
      // thread of two at 56 MB. The memory available ends the refusal.
      {"200 1 0.1 0.7 10", "1,2,3", "--evolve --brief --threads 1 > .stdout", 1,
       "cannot build a population of 200 trees of depth 10 and the next "
       "generation beside it: it needs 43.5 MiB of memory and ...",
       setUp("1", "200", "0.1", "0.7"), 49000000},
      {"200 1 0.1 0.7 10", "1,2,3", "--evolve --brief --threads 1 > /dev/null",
       0, "", "", 56000000},
      {"200 1 0.1 0.7 10", "1,2,3", "--evolve --brief --threads 2 > /dev/null",
       0,
       "note: 1 of the 2 threads asked for are used: the memory available "
       "holds no more",
       "", 56000000},
      {"200 1 0.1 0.7 10", "1,2,3", "--evolve --brief --threads 2 > /dev/null",
       0, "", "", 64000000},
      // An endless line stops at the memory the test values may take.
      {"1 0 0 0 0", "/dev/zero", "", 1,
       "the test values need more memory than is available",
       setUp("0", "1", "0", "0"), 100000000},
      // A run that evolves says nothing on standard error when all is well.
      // One individual: the generation keeps it, so it is evaluated again.
      {"1 1 0.1 0.7 0", "1,2,3", "--evolve > .stdout", 0, "",
       setUp("1", "1", "0.1", "0.7") +
           lines("*|Test values: |Var[0] --- a(1),b(2),c(3)|*|" + kLeafC3) +
           record("1 1 0.1 0.7 0") +
           lines(kGeneration1 + "0.18\t---\tMedian cost: 0.18" +
                 kGeneration1Rest + kLeafC3 + "FINISHED|")},
      // Generations with no triple evolve towards nothing (the depth 0 as
      // the input ended).
      {"1 1 0 0", nullptr, "--evolve > .stdout", 0,
       "note: the input ended before the tree depth was given; it was taken "
       "as 0|" +
           kNoFile +
           "note: there is no test triple: every cost is 0, and the "
           "evolution has nothing to find",
       setUp("1", "1", "0", "0") +
           lines(kNoValues + "Expression: 0\t---\tc|*|") + record("1 1 0 0 0") +
           lines(kGeneration1 + "0\t---\tMedian cost: 0" + kGeneration1Rest +
                 "Expression: 0\t---\tc|*|FINISHED|")},
      // Two values a line are taken across lines; a = -1 gives a cost
      // (-r^2 + 0.5 r + 4) / 100 without a lower bound.
      {"1 1 0 0 0", "1,2\n3,-1\n0.5,4\n", "--evolve > .stdout", 0,
       "note: testVals.csv holds 2 values on each of its 3 lines; triples are "
       "taken across lines, three values at a time|note: 1 test triple has an "
       "a not above 0, the first Var[3] with a \"-1\": the cost has no lower "
       "bound, and the evolution can run it towards minus infinity",
       setUp("1", "1", "0", "0") +
           lines("*|Test values: |Var[0] --- a(1),b(2),c(3)|Var[3] --- "
                 "a(-1),b(0.5),c(4)|*|" +
                 kLeafC34) +
           record("1 1 0 0 0") +
           lines(kGeneration1 + "0.08\t---\tMedian cost: 0.08" +
                 kGeneration1Rest + kLeafC34 + "FINISHED|")},
      {"0 0 0 0 0", "1;2;3\n", "", 0,
       "warning: testVals.csv holds 1 value, not a multiple of three; the "
       "last 1 value is ignored|note: testVals.csv has no comma but numbers "
       "separated by semicolons: values are separated by commas, as in 1,2,3",
       setUp("0", "0", "0", "0") + lines("*|Test values: |*|FINISHED|")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + c.redirect);
#ifdef __SANITIZE_ADDRESS__  // its shadow memory takes terabytes of addresses
    if (c.addressSpace != 0) continue;
#endif
    ScratchDir dir;
    if (c.values != nullptr && c.values[0] == '/')
      std::filesystem::create_symlink(c.values, dir.path() / "testVals.csv");
    else if (c.values != nullptr)
      dir.write("testVals.csv", c.values);
    const RunResult run = runProgram(dir, c.input, c.redirect, c.addressSpace);
    EXPECT_EQ(run.out, c.out);
    const std::string err = said(c.err);
    const std::size_t cut =
        err.ends_with("...\n") ? err.size() - 4 : std::string::npos;
    EXPECT_EQ(run.err.substr(0, cut), err.substr(0, cut));
    EXPECT_EQ(run.status, c.status);
  }
}

// The threads share out the evaluations only: a run writes the same bytes,
// ends the same way and says the same on any number of them, failing
// evaluations and writes and memory limits included; under a limit it may
// run on fewer threads, and then says so when they were asked for.
TEST(EndToEnd, SameRunOnAnyNumberOfThreads) {
  struct Case {
    std::string input, options, values;
    std::string shell = "";          // run before the program
    std::uint64_t addressSpace = 0;  // RLIMIT_AS of the run, 0 for none
  };
  const std::string negative =
      "-1.5,-2.25,-3\n-0.125,-4,-7.75\n-80.261,-5.5,-0.5\n-3,-1,-9.125\n";
  const std::string kStall =
      "-1.5,2.25,-3\n0.5,-0.75,4\n-1+2, 3,-4.5\n-6.125,-0.5,-7\n2,b,1e3\n";
  const std::string grown =
      "1," + std::string(1024, 'c') + "," + std::string(1 << 21, '1') + "\n";
  const Case cases[] = {
      {"300 0 0 0 6", "", negative},
      {"150 4 0.1 0.7 4", "--evolve",
       "-1.5,2.25,-3\n0.5,-0.75,4\nnan,-2,1e3\n-1+2, 3,-4.5\n"
       "b,-inf,2\n-6.125,-0.5,-7\n"},
      // Its best stays the same for generations; the last one starts with
      // no finite cost.
      {"41 30 0.02 0.3 3", "--evolve --seed 9", kStall},
      {"150 4 0.1 0.7 4", "--evolve --seed 9 --tournament 3 --elite 4", kStall},
      {"60 6 0.05 0.7 7", "--evolve --seed 9 --roulette --elite 0 --lexicase 1",
       kStall},
      // b's value would outgrow 32-bit positions: the first tree with a b
      // stops the run.
      {"40 0 0 0 3", "", negative + grown},
      // A write fails at the file size limit, in the middle of a block.
      {"300 0 0 0 6", "", negative, "trap '' XFSZ; ulimit -f 300; "},
      {"200 1 0.1 0.7 10", "--evolve", negative, "", 60000000},
      {"3 0 0 0 12", "", negative + negative, "", 20000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " " + c.options + " " + c.shell);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (c.addressSpace != 0) continue;  // their shadow memory is vast
#endif
    ScratchDir dir;
    dir.write("testVals.csv", c.values);
    dir.write(".stdin", c.input);
    RunResult one;
    for (const char* threads : {"1", "2", "3", "8"}) {
      const int status = runShell(dir,
                                  c.shell + "'" APPROXIMATOR_EXE "' " +
                                      c.options + " --threads " + threads +
                                      " < .stdin > .stdout 2> .stderr",
                                  c.addressSpace);
      const RunResult run{dir.read(".stdout"), dir.read(".stderr"), status};
      if (threads[0] == '1') {
        one = run;
        EXPECT_NE(one.out.find(c.options.empty() ? "Cost1: " : "Generation: 1"),
                  std::string::npos);
        continue;
      }
      // Under a memory limit, the one note that fewer threads are used.
      std::string err = run.err;
      const std::size_t fewer = err.find(" of the " + std::string(threads) +
                                         " threads asked for are used: the "
                                         "memory available holds no more\n");
      if (fewer != std::string::npos && c.addressSpace != 0)
        err.erase(err.rfind('\n', fewer) + 1,
                  err.find('\n', fewer) - err.rfind('\n', fewer));
      EXPECT_EQ(run.out, one.out) << threads;
      EXPECT_EQ(err, one.err) << threads;
      EXPECT_EQ(run.status, one.status) << threads;
    }
  }
}
