// How well --evolve finds the optimum. Ten instances of 20 parabolas each
// (seeds 1000 to 1009: a uniform in [0.5, 5], b and c in [-10, 10], three
// decimals) have a known lowest cost, the sum of (c - b^2/(4a))/100 over the
// vertices -b/(2a). Each configuration runs the program with --evolve
// --seed S, S = 1 to 5, on every instance, two runs at a time, and prints
// the runs whose last best cost is within max(0.01, 1% of |optimum|) of the
// optimum, the median gap, the median generation at which a run's best cost
// first comes within that tolerance, and the CPU milliseconds per generation.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage: evolution-quality [--unseeded] [--generations G] [--seeds N]\n"
    "                         [--instances S] [PROGRAM] [-- OPTION...]\n"
    "Runs PROGRAM (default: the function-approximator built beside this\n"
    "benchmark) with --evolve --seed 1 to 5 (1 to N with --seeds) on ten\n"
    "instances per configuration, those of seeds 1000 to 1009 (S to S + 9\n"
    "with --instances); --unseeded runs each instance once without --seed,\n"
    "for a program that has no seeds. --generations G keeps the\n"
    "configurations of G generations. The OPTIONs after -- are given to\n"
    "every run (such as --tournament 4), so that one lever can be compared\n"
    "with another; more seeds tell closer levers apart, other instances\n"
    "show whether a choice holds beyond the ones it was made on.\n";

struct Configuration {
  int depth;
  int generations;
  const char* mutation;
};

// Population 200 and crossover 0.7 throughout: the 50-generation runs users
// start with, and the long runs that show where a search ends.
constexpr Configuration kConfigurations[] = {
    {4, 50, "0.05"},  {6, 50, "0.01"},  {8, 50, "0.01"},
    {4, 300, "0.05"}, {6, 300, "0.01"}, {8, 300, "0.01"}};
constexpr int kSeeds = 5;  // unless --seeds says otherwise

struct Instance {
  fs::path dir;
  double optimum = 0.0;
};

// 20 triples from the seed, each value a uniform draw written with three
// decimals; the optimum is taken from the values as written.
Instance makeInstance(const fs::path& dir, unsigned seed) {
  std::mt19937 generator(seed);
  const auto uniform = [&](double low, double high) {
    return low + (high - low) * (generator() / 4294967296.0);
  };
  fs::create_directories(dir);
  std::ofstream values(dir / "testVals.csv");
  Instance instance{dir};
  for (int k = 0; k < 20; ++k) {
    char text[3][32];
    std::snprintf(text[0], sizeof text[0], "%.3f", uniform(0.5, 5));
    std::snprintf(text[1], sizeof text[1], "%.3f", uniform(-10, 10));
    std::snprintf(text[2], sizeof text[2], "%.3f", uniform(-10, 10));
    values << text[0] << ',' << text[1] << ',' << text[2] << '\n';
    const double a = std::atof(text[0]), b = std::atof(text[1]),
                 c = std::atof(text[2]);
    instance.optimum += (c - b * b / (4 * a)) / 100;
  }
  return instance;
}

struct Run {
  const Instance* instance;
  std::string answers;  // file name in the instance's directory
  std::string seed;     // empty: unseeded
  fs::path transcript;
  double lastBest = std::numeric_limits<double>::infinity();
  // The first generation whose best cost is within tolerance; none: never.
  double firstWithin = std::numeric_limits<double>::infinity();
  double cpuSeconds = 0.0;
  bool failed = false;
};

// Whether a cost is within tolerance of the optimum.
bool isWithin(double cost, double optimum) {
  return cost - optimum <= std::max(0.01, 0.01 * std::fabs(optimum));
}

// The first "Generation: g" line whose best cost is within tolerance.
double firstGenerationWithin(const std::string& text, double optimum) {
  static const std::string kLine = "Generation: ";
  static const std::string kBest = "Best cost: ";
  for (std::size_t at = text.find(kLine); at != std::string::npos;
       at = text.find(kLine, at + 1)) {
    if (at != 0 && text[at - 1] != '\n') continue;
    const std::size_t best = text.find(kBest, at);
    if (best == std::string::npos) break;
    const double cost =
        std::strtod(text.c_str() + best + kBest.size(), nullptr);
    if (std::isfinite(cost) && isWithin(cost, optimum)) {
      return std::strtod(text.c_str() + at + kLine.size(), nullptr);
    }
  }
  return std::numeric_limits<double>::infinity();
}

// Runs the program in the instance's directory and reads the last best cost
// (the closing block's last Cost1:), the first generation within tolerance
// and the user and system time it took.
void carryOut(const std::string& program, const std::vector<std::string>& extra,
              Run& run) {
  std::vector<std::string> words = {program, "--evolve"};
  words.insert(words.end(), extra.begin(), extra.end());
  // Two runs at a time fill the cores already: each on one thread keeps its
  // CPU time its own.
  if (!run.seed.empty()) {
    words.insert(words.end(), {"--seed", run.seed, "--threads", "1"});
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const std::string dir = run.instance->dir.string();
  const std::string out = run.transcript.string();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only calls that are safe after fork in a threaded program.
    const int answers = open(run.answers.c_str(), O_RDONLY);
    const int to = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int null = open("/dev/null", O_WRONLY);
    if (chdir(dir.c_str()) != 0 || answers < 0 || to < 0 || null < 0) {
      _exit(127);
    }
    dup2(answers, 0);
    dup2(to, 1);
    dup2(null, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    run.failed = true;
    return;
  }
  run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec) +
                   static_cast<double>(usage.ru_stime.tv_sec) +
                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::ifstream in(run.transcript, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  fs::remove(run.transcript);
  const std::size_t at = text.rfind("Cost1: ");
  if (at == std::string::npos) {
    run.failed = true;
    return;
  }
  const double cost = std::strtod(text.c_str() + at + 7, nullptr);
  if (std::isfinite(cost)) run.lastBest = cost;
  run.firstWithin = firstGenerationWithin(text, run.instance->optimum);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  if (n == 0) return std::nan("");
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool seeded = true;
  int onlyGenerations = 0;
  int seeds = kSeeds;
  unsigned firstInstance = 1000;
  std::vector<std::string> extra;
  fs::path program = APPROXIMATOR_EXE;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unseeded") == 0) {
      seeded = false;
    } else if (std::strcmp(argv[i], "--generations") == 0 && i + 1 < argc) {
      onlyGenerations = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--seeds") == 0 && i + 1 < argc) {
      seeds = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--instances") == 0 && i + 1 < argc) {
      firstInstance = static_cast<unsigned>(std::atol(argv[++i]));
    } else if (std::strcmp(argv[i], "--") == 0) {
      extra.assign(argv + i + 1, argv + argc);
      break;
    } else if (argv[i][0] == '-') {
      std::cerr << kUsage;
      return 2;
    } else {
      program = argv[i];
    }
  }
  program = fs::absolute(program);
  char scratchName[] = "/tmp/evolution-quality-XXXXXX";
  if (mkdtemp(scratchName) == nullptr) {
    std::perror("evolution-quality: mkdtemp");
    return 1;
  }
  const fs::path scratch = scratchName;
  std::vector<Instance> instances;
  for (unsigned seed = firstInstance; seed < firstInstance + 10; ++seed) {
    instances.push_back(
        makeInstance(scratch / ("instance-" + std::to_string(seed)), seed));
  }
  std::cout << "program: " << program.string() << (seeded ? "" : " (unseeded)");
  for (const std::string& option : extra) std::cout << ' ' << option;
  std::cout << std::endl;
  bool failed = false;
  for (const Configuration& configuration : kConfigurations) {
    if (onlyGenerations != 0 && configuration.generations != onlyGenerations) {
      continue;
    }
    const std::string answers =
        (scratch / ("answers-" + std::to_string(configuration.depth))).string();
    std::ofstream(answers) << "200 " << configuration.generations << ' '
                           << configuration.mutation << " 0.7 "
                           << configuration.depth << '\n';
    std::vector<Run> runs;
    for (const Instance& instance : instances) {
      for (int seed = 1; seed <= (seeded ? seeds : 1); ++seed) {
        const std::string name = seeded ? std::to_string(seed) : "";
        runs.push_back(
            {&instance, answers, name,
             instance.dir / ("run-" + std::to_string(seed) + ".txt")});
      }
    }
    // Two runs at a time, one per core; each is timed by its own CPU time,
    // which the other does not slow much.
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
      for (std::size_t i; (i = next++) < runs.size();)
        carryOut(program, extra, runs[i]);
    };
    std::thread helper(work);
    work();
    helper.join();
    int within = 0;
    std::vector<double> gaps, firsts, msPerGeneration;
    for (const Run& run : runs) {
      failed = failed || run.failed;
      const double optimum = run.instance->optimum;
      gaps.push_back(run.lastBest - optimum);
      if (isWithin(run.lastBest, optimum)) ++within;
      firsts.push_back(run.firstWithin);
      msPerGeneration.push_back(1000 * run.cpuSeconds /
                                configuration.generations);
    }
    // Runs that never come within count as later than any that do.
    const double first = median(firsts);
    char firstText[32] = "never";
    if (std::isfinite(first)) {
      std::snprintf(firstText, sizeof firstText, "%.4g", first);
    }
    std::printf(
        "depth %d, %d generations, mutation %s: %d of %zu within, median gap "
        "%.4g, median first generation within %s, %.3f ms per generation "
        "(median CPU time of a run / generations)\n",
        configuration.depth, configuration.generations, configuration.mutation,
        within, runs.size(), median(gaps), firstText, median(msPerGeneration));
    std::fflush(stdout);
  }
  fs::remove_all(scratch);
  if (failed) std::cerr << "evolution-quality: some runs failed" << std::endl;
  return failed ? 1 : 0;
}
