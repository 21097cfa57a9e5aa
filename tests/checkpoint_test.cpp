// Checkpoints and resumed runs, on the real executable: a run resumed from
// any of its checkpoints goes on as if it had never stopped, a checkpoint
// that cannot be read is refused before anything is written, and one that
// cannot be written stops the run.
#include <gtest/gtest.h>

#include "support.hpp"

namespace {

const char* const kValues = "1,-8,20\n2,2,-1\n2.5,0,1\n1,3,0\n0.5,1,1\n";
const char* const kAnswers = "2000 150 0.1 0.8 6\n";
// A run that the stall rule ends after some 40 generations.
const std::string kRun = "--evolve --brief --seed 3 --stall 30 ";

std::string generationOf(const std::string& checkpoint) {
  const std::size_t at = checkpoint.find("\ngeneration ") + 12;
  return checkpoint.substr(at, checkpoint.find('\n', at) - at);
}

// What a transcript holds after the line of generation g.
std::string after(const std::string& transcript, const std::string& g) {
  const std::size_t at = transcript.find("\nGeneration: " + g + "\t");
  return at == std::string::npos
             ? "(no generation " + g + ")"
             : transcript.substr(transcript.find('\n', at + 1) + 1);
}

const std::string kMe = "function-approximator: ",
                  kResume = "cannot resume from 'bad.cp': ";

// The checkpoint without its "seconds" line, which the clock decides.
std::string withoutSeconds(std::string checkpoint) {
  const std::size_t at = checkpoint.find("\nseconds ");
  if (at != std::string::npos) {
    checkpoint.erase(at, checkpoint.find('\n', at + 1) - at);
  }
  return checkpoint;
}

}  // namespace

// The first checkpoint (generation 0), the one of a signal's stop and the
// one of the run's end, each resumed on other threads than the run's, give
// the lines of the run never stopped after that generation; a resumed run
// keeps checkpointing.
TEST(Checkpoint, AResumedRunGoesOnAsIfNeverStopped) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  const std::string whole =
      runProgram(dir, kAnswers,
                 kRun + "--threads 2 --checkpoint last.cp >.stdout")
          .out;
  // Its first checkpoint copied as soon as it is there, then stopped by
  // SIGTERM once it has written generation 3.
  dir.write("in", kAnswers);
  runShell(dir, ":; '" APPROXIMATOR_EXE "' " + kRun +
                    "--threads 1 --checkpoint cp --checkpoint-every 1e6 <in "
                    ">out 2>&1 & p=$!; on() { kill -0 $p 2>/dev/null; }; "
                    "while on && [ ! -e cp ]; do sleep 0.001; done; cp cp "
                    "first.cp; while on && ! grep -q '^Generation: 3' out; "
                    "do sleep 0.001; done; kill -TERM $p; wait $p");
  for (const auto& [file, threads] :
       {std::pair{"first.cp", "3"}, {"cp", "2"}, {"last.cp", "1"}}) {
    const std::string g = generationOf(dir.read(file));
    const RunResult resumed =
        runProgram(dir, "",
                   std::string("--resume ") + file + " --threads " + threads +
                       " --checkpoint again.cp >.stdout");
    EXPECT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(resumed.out, after(whole, g)) << file << " at " << g;
    EXPECT_EQ(withoutSeconds(dir.read("again.cp")),
              withoutSeconds(dir.read("last.cp")))
        << file;
  }
}

// Each fault of a checkpoint refused with its line and reason, status 1 and
// nothing on standard output. The first case, a checkpoint whose trees were
// written here, is read.
TEST(Checkpoint, OneThatCannotBeReadIsRefused) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  runProgram(dir, "2 3 0.1 0.8 2", "--evolve --seed 1 --checkpoint cp >out");
  std::string good = dir.read("cp");
  good.replace(good.find("\ntrees "), std::string::npos,
               "\ntrees 2\n+ab\nc\nend\n");
  const struct {
    std::string from, to, why;
  } cases[] = {
      {"", "", ""},
      {"checkpoint 1", "checkpoint 2",
       "line 1: format version '2' cannot be read; this program reads version "
       "1"},
      {"\nseed 1\n", "\n",
       "line 4: 'seed' and 1 value are wanted, not 'brief 0'"},
      {"\nseed 1", "\nseed " + std::string(1000000, '1'),
       "line 4: the line is too long"},
      {" 0.1 0.8 2\n", " 0.1 1.8 2\n",
       "line 3: crossover rate '1.8' is not from 0 to 1"},
      {"\nelite 1", "\nelite 3",
       "line 10: elite size '3' is not a whole number from 0 to 2"},
      {"\nlexicase 0.5", "\nlexicase 2",
       "line 11: lexicase chance '2' is not from 0 to 1"},
      {"\ngeneration 3", "\ngeneration 4",
       "line 13: generation '4' is not a whole number from 0 to 3"},
      {"answers 2 3 0.1 0.8 2", "answers 2000000000 3 0.1 0.8 30",
       "line 3: cannot build a population of 2000000000 trees of depth 30 "},
      {"\nvalues 15 ", "\nvalues 14 ",
       "testVals.csv holds 15 test values; the run of 'bad.cp' had 14"},
      {"\ntrees 2", "\ntrees 3",
       "line 17: the trees of 2 individuals are wanted, not '3'"},
      {"\n+ab\n", "\n+a-b*cc\n",
       "line 18: the tree is deeper than the depth 2"},
      {"\n+ab\n", "\n+aB\n", "line 18: 'B' is not a symbol of a tree"},
      {"\n+ab\n", "\n+a\n", "line 18: the tree ends early"},
      {"\nc\n", "\ncc\n", "line 19: more symbols after the tree"},
      {"\nend\n", "\n", "line 20: the checkpoint ends early"},
      {"\nend\n", "\nend\n\n", "line 21: more after 'end'"}};
  for (const auto& c : cases) {
    std::string bad = good;
    dir.write("bad.cp", bad.replace(bad.find(c.from), c.from.size(), c.to));
    const RunResult result = runProgram(dir, "", "--resume bad.cp >.stdout");
    if (c.why.empty()) {
      EXPECT_TRUE(result.status == 0 && result.out.ends_with("FINISHED\n"));
      continue;
    }
    const std::string err =
        (c.why.starts_with("testVals") ? kMe : kMe + kResume) + c.why;
    EXPECT_EQ(std::to_string(result.status) + result.out +
                  result.err.substr(0, err.size()),
              "1" + err);
  }
  const RunResult missing = runProgram(dir, "", "--resume no.cp >.stdout");
  EXPECT_EQ(
      std::to_string(missing.status) + missing.out + missing.err,
      "1" + kMe + "cannot resume from 'no.cp': No such file or directory\n");
}

// A checkpoint that cannot be written stops the run after generation 0, the
// first written, with the reason and status 1, and leaves no file behind:
// no directory, a path that is not a regular file (rename would replace
// it), and a write cut short by a limit on the size of files.
TEST(Checkpoint, OneThatCannotBeWrittenStopsTheRun) {
  ScratchDir dir;
  dir.write("testVals.csv", kValues);
  dir.write("in", "200 5 0.1 0.8 6\n");
  std::filesystem::create_directory(dir.path() / "sub");
  const struct {
    std::string path, limit, why;
  } cases[] = {{"no/cp", "", "No such file or directory"},
               {"sub", "", "not a regular file"},
               {"cp", "trap '' XFSZ; ulimit -f 16; ", "File too large"}};
  for (const auto& c : cases) {
    EXPECT_EQ(runShell(dir, c.limit +
                                "'" APPROXIMATOR_EXE
                                "' --evolve --brief --checkpoint " +
                                c.path + " <in >out 2>err"),
              1)
        << c.path;
    EXPECT_EQ(dir.read("err"), kMe + "cannot write the checkpoint '" + c.path +
                                   "': " + c.why + "\n");
    EXPECT_TRUE(after(dir.read("out"), "0")
                    .starts_with("Stopped: the checkpoint could not be written "
                                 "after generation 0\n" +
                                 std::string(48, '*') + "\nExpression: "));
    EXPECT_TRUE(dir.read("out").ends_with("\nFINISHED\n"));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      EXPECT_FALSE(entry.path().filename().string().starts_with(".cp"));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "cp"));
}
