#include "checkpoint.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "memory_budget.hpp"

namespace {

// Why the line being read is refused; the reader adds the line's number.
struct Refusal {
  std::string why;
};

// The shortest text that reads back as the same number.
template <typename Number>
std::string shortest(Number value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  (void)error;  // 32 characters hold any float, double or 64-bit integer
  return {text, end};
}

// A text as a refusal quotes it: at most 40 characters, controls as '?'.
std::string inQuotes(std::string_view text) {
  std::string shown = "'";
  for (const char ch : text.substr(0, 40)) {
    shown += static_cast<unsigned char>(ch) < ' ' || ch == '\x7f' ? '?' : ch;
  }
  return shown + (text.size() > 40 ? "'..." : "'");
}

template <typename Number>
Number wholeNumber(std::string_view text, Number low, Number high,
                   const char* what, int base = 10) {
  Number value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, base);
  if (error != std::errc() || stop != end || value < low || value > high) {
    throw Refusal{std::string(what) + ' ' + inQuotes(text) +
                  " is not a whole number from " + std::to_string(low) +
                  " to " + std::to_string(high)};
  }
  return value;
}

// Any float or double to_chars writes, inf and nan included.
template <typename Real>
Real realNumber(std::string_view text, const char* what) {
  Real value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end) {
    throw Refusal{std::string(what) + ' ' + inQuotes(text) +
                  " is not a number"};
  }
  return value;
}

template <typename Real>
Real boundedReal(std::string_view text, Real low, Real high, const char* what) {
  const Real value = realNumber<Real>(text, what);
  if (!(value >= low && value <= high)) {
    throw Refusal{std::string(what) + ' ' + inQuotes(text) + " is not from " +
                  shortest(low) + " to " + shortest(high)};
  }
  return value;
}

// The options that change the run, a line each in this order: a new option
// is a row here. `put` gives the value's text and `take` reads it back.
struct OptionLine {
  const char* name;
  std::string (*put)(const RunRecord&);
  void (*take)(std::string_view, RunRecord&);
};

const OptionLine kOptionLines[] = {
    {"brief", [](const RunRecord& r) { return std::to_string(r.brief); },
     [](std::string_view text, RunRecord& r) {
       r.brief = wholeNumber(text, 0, 1, "brief") == 1;
     }},
    {"target-cost",
     [](const RunRecord& r) {
       return r.rules.targetCost ? shortest(*r.rules.targetCost) : "none";
     },
     [](std::string_view text, RunRecord& r) {
       if (text == "none") return;
       r.rules.targetCost = boundedReal(text, -FLT_MAX, FLT_MAX, "target cost");
     }},
    {"stall", [](const RunRecord& r) { return std::to_string(r.rules.stall); },
     [](std::string_view text, RunRecord& r) {
       r.rules.stall = wholeNumber(text, 0, INT_MAX, "stall");
     }},
    {"time-limit",
     [](const RunRecord& r) { return shortest(r.rules.timeLimit); },
     [](std::string_view text, RunRecord& r) {
       r.rules.timeLimit = boundedReal(text, 0.0, DBL_MAX, "time limit");
     }},
    {"tournament",
     [](const RunRecord& r) { return std::to_string(r.tournament); },
     [](std::string_view text, RunRecord& r) {
       r.tournament = wholeNumber(text, 0, r.popSize, "tournament size");
     }},
    {"elite", [](const RunRecord& r) { return std::to_string(r.elite); },
     [](std::string_view text, RunRecord& r) {
       r.elite = wholeNumber(text, 0, r.popSize, "elite size");
     }},
    {"lexicase", [](const RunRecord& r) { return shortest(r.lexicase); },
     [](std::string_view text, RunRecord& r) {
       r.lexicase = boundedReal(text, 0.0f, 1.0f, "lexicase chance");
     }},
};

void appendTree(const Ttree* node, std::string& text) {
  text += node->dato;
  if (node->Hi != nullptr) appendTree(node->Hi, text);
  if (node->Hd != nullptr) appendTree(node->Hd, text);
}

// The checkpoint's lines, counted as they are read.
class LineReader {
 public:
  explicit LineReader(std::streambuf* in) : in_(in) {}
  int number() const { return number_; }
  std::streambuf& in() { return *in_; }

  void startLine() { ++number_; }

  // The next line, which no checkpoint's head makes longer than this.
  std::string line() {
    startLine();
    std::string text;
    for (int ch; (ch = next()) != '\n';) {
      if (text.size() == kLongestLine) throw Refusal{"the line is too long"};
      text += static_cast<char>(ch);
    }
    return text;
  }

  // The words of the line `name`, which must hold `count` more.
  std::vector<std::string> fields(const char* name, std::size_t count) {
    const std::string text = line();
    std::vector<std::string> words;
    for (std::size_t at = 0, space; at <= text.size(); at = space + 1) {
      space = std::min(text.find(' ', at), text.size());
      words.push_back(text.substr(at, space - at));
    }
    if (words.size() != count + 1 || words[0] != name) {
      throw Refusal{std::string("'") + name + "' and " + std::to_string(count) +
                    (count == 1 ? " value" : " values") + " are wanted, not " +
                    inQuotes(text)};
    }
    words.erase(words.begin());
    return words;
  }

  // The next character; the end of the file is a checkpoint cut short.
  int next() {
    const int ch = in_->sbumpc();
    if (ch == EOF) throw Refusal{"the checkpoint ends early"};
    return ch;
  }

 private:
  static constexpr std::size_t kLongestLine = 200;
  std::streambuf* in_;
  int number_ = 0;
};

bool oneOf(int ch, const char* symbols, std::size_t count) {
  return std::memchr(symbols, ch, count) != nullptr;
}

// A tree in prefix order: an operator, then its left and right subtrees; a
// terminal is a leaf. Recursion goes no deeper than the run's depth.
Ttree* readTree(LineReader& lines, int depth, int deepest, Ttree* father) {
  const int ch = lines.next();
  const bool inner = oneOf(ch, opVar, sizeof opVar);
  if (!inner && !oneOf(ch, eqVar, sizeof eqVar)) {
    if (ch == '\n') throw Refusal{"the tree ends early"};
    throw Refusal{inQuotes(std::string(1, static_cast<char>(ch))) +
                  " is not a symbol of a tree"};
  }
  if (inner && depth == deepest) {
    throw Refusal{"the tree is deeper than the depth " +
                  std::to_string(deepest)};
  }
  Ttree* const node = new Ttree{};
  node->dato = static_cast<char>(ch);
  node->padre = father;
  node->profundidad = depth;
  node->esHoja = !inner;
  if (inner) {
    node->Hi = readTree(lines, depth + 1, deepest, node);
    node->Hd = readTree(lines, depth + 1, deepest, node);
  }
  return node;
}

void readHead(LineReader& lines, SavedRun& run, std::uint64_t availableBytes) {
  if (const std::string format = lines.line(); format != kCheckpointFormat) {
    const std::string_view name = "function-approximator checkpoint ";
    throw Refusal{format.starts_with(name)
                      ? "format version " +
                            inQuotes(format.substr(name.size())) +
                            " cannot be read; this program reads version 1"
                      : "not a checkpoint of function-approximator"};
  }
  if (const auto version = lines.fields("version", 1);
      version[0] != APPROXIMATOR_VERSION) {
    throw Refusal{"written by version " + inQuotes(version[0]) +
                  "; this is version " APPROXIMATOR_VERSION};
  }
  RunRecord& r = run.record;
  const auto answers = lines.fields("answers", 5);
  r.popSize = wholeNumber(answers[0], 1, INT_MAX, "population size");
  r.genSize = wholeNumber(answers[1], 1, INT_MAX, "generations");
  r.mutRate = boundedReal(answers[2], 0.0f, 1.0f, "mutation rate");
  r.crossRate = boundedReal(answers[3], 0.0f, 1.0f, "crossover rate");
  r.treeDepth = wholeNumber(answers[4], 0, kMaxTreeDepth, "tree depth");
  if (const std::string why =
          populationRefusal(r.popSize, r.treeDepth, availableBytes, 2);
      !why.empty()) {
    throw Refusal{why};
  }
  r.seed = wholeNumber(lines.fields("seed", 1)[0], 0u, UINT32_MAX, "seed");
  for (const OptionLine& option : kOptionLines) {
    option.take(lines.fields(option.name, 1)[0], r);
  }
  const auto values = lines.fields("values", 2);
  run.values.count =
      wholeNumber(values[0], std::uint64_t{0}, UINT64_MAX, "value count");
  if (values[1].size() != 16) throw Refusal{"the fingerprint is not 16 digits"};
  run.values.fingerprint =
      wholeNumber(values[1], std::uint64_t{0}, UINT64_MAX, "fingerprint", 16);
  run.generation =
      wholeNumber(lines.fields("generation", 1)[0], 0, r.genSize, "generation");
  run.bestCost =
      realNumber<float>(lines.fields("best-cost", 1)[0], "best cost");
  run.sinceLower = wholeNumber(lines.fields("since-lower", 1)[0], 0,
                               r.rules.stall, "since-lower");
  run.seconds =
      boundedReal(lines.fields("seconds", 1)[0], 0.0, DBL_MAX, "seconds");
}

}  // namespace

ValuesMark markValues(const std::vector<std::string>& values) {
  std::uint64_t hash = 0xcbf29ce484222325;  // FNV-1a's offset basis
  const auto add = [&hash](unsigned char byte) {
    hash = (hash ^ byte) * 0x100000001b3;  // and its prime
  };
  for (const std::string& value : values) {
    for (const char ch : value) add(static_cast<unsigned char>(ch));
    add('\n');
  }
  return {values.size(), hash};
}

bool formatCheckpoint(const SavedRun& run, TIndividual* const* population,
                      const std::function<bool(std::string_view)>& put) {
  constexpr std::size_t kPiece = std::size_t{1} << 16;
  const RunRecord& r = run.record;
  std::string text(kCheckpointFormat);
  text += "\nversion " APPROXIMATOR_VERSION "\nanswers " +
          std::to_string(r.popSize) + ' ' + std::to_string(r.genSize) + ' ' +
          shortest(r.mutRate) + ' ' + shortest(r.crossRate) + ' ' +
          std::to_string(r.treeDepth) + "\nseed " + std::to_string(r.seed) +
          '\n';
  for (const OptionLine& option : kOptionLines) {
    text += std::string(option.name) + ' ' + option.put(r) + '\n';
  }
  char fingerprint[17];
  std::snprintf(fingerprint, sizeof fingerprint, "%016llx",
                static_cast<unsigned long long>(run.values.fingerprint));
  text += "values " + std::to_string(run.values.count) + ' ' + fingerprint +
          "\ngeneration " + std::to_string(run.generation) + "\nbest-cost " +
          shortest(run.bestCost) + "\nsince-lower " +
          std::to_string(run.sinceLower) + "\nseconds " +
          shortest(run.seconds) + "\ntrees " + std::to_string(r.popSize) + '\n';
  for (int i = 0; i < r.popSize; ++i) {
    appendTree(population[i]->tree, text);
    text += '\n';
    if (text.size() >= kPiece) {
      if (!put(text)) return false;
      text.clear();
    }
  }
  text += "end\n";
  return put(text);
}

std::string readCheckpoint(std::istream& in, SavedRun& run,
                           std::vector<Ttree*>& trees,
                           std::uint64_t availableBytes) {
  if (in.rdbuf() == nullptr) return "line 1: the checkpoint ends early";
  LineReader lines(in.rdbuf());
  try {
    readHead(lines, run, availableBytes);
    const int popSize = run.record.popSize;
    const auto count = lines.fields("trees", 1);
    if (count[0] != std::to_string(popSize)) {
      throw Refusal{"the trees of " + std::to_string(popSize) +
                    " individuals are wanted, not " + inQuotes(count[0])};
    }
    // Grown as trees are read, not as the count claims.
    trees.clear();
    for (int i = 0; i < popSize; ++i) {
      lines.startLine();
      trees.push_back(readTree(lines, 0, run.record.treeDepth, nullptr));
      if (lines.next() != '\n') throw Refusal{"more symbols after the tree"};
    }
    if (lines.line() != "end") throw Refusal{"'end' is wanted after the trees"};
    if (lines.in().sgetc() != EOF) {
      lines.startLine();
      throw Refusal{"more after 'end'"};
    }
  } catch (const Refusal& refusal) {
    return "line " + std::to_string(lines.number()) + ": " + refusal.why;
  }
  return {};
}

namespace {

// Writes all of `text`, as many calls as it takes.
bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written == 0) errno = EIO;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// The directory's entries, the new name included, made lasting. A file
// system that cannot sync a directory (EINVAL) has nothing more to do.
int syncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
  ::close(fd);
  return error;
}

}  // namespace

std::string writeCheckpoint(const std::string& path, const SavedRun& run,
                            TIndividual* const* population) {
  const std::string failure = "cannot write the checkpoint '" + path + "': ";
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode)) {
    return failure + "not a regular file";
  }
  const std::filesystem::path whole(path);
  const std::string directory =
      whole.has_parent_path() ? whole.parent_path().string() : ".";
  // Beside the checkpoint, so that the rename stays within one file system;
  // named after it and this process.
  // (Appended piece by piece: GCC 12 warns falsely on "." + a string.)
  std::string name(1, '.');
  name += whole.filename().string().substr(0, 200);
  name += ".tmp" + std::to_string(::getpid());
  const std::string temporary = (whole.parent_path() / name).string();
  ::unlink(temporary.c_str());  // left by a process of the same id
  const int fd =
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return failure + std::strerror(errno);
  int error = formatCheckpoint(
                  run, population,
                  [fd](std::string_view piece) { return writeAll(fd, piece); })
                  ? 0
                  : errno;
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::unlink(temporary.c_str());
    return failure + std::strerror(error);
  }
  error = syncDirectory(directory);
  return error == 0 ? std::string() : failure + std::strerror(error);
}
