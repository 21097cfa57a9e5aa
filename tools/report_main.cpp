// function-approximator-report: the command line around the report.
#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "svg_pictures.hpp"
#include "text_report.hpp"
#include "transcript_summary.hpp"

namespace {

constexpr const char* kName = "function-approximator-report: ";

constexpr const char* kUsage =
    "Usage: function-approximator-report [--top N] [--svg FILE] "
    "[TRANSCRIPT...]\n"
    "Reports on transcripts of function-approximator, standard input when\n"
    "there is none or for \"-\". Several transcripts are reported one after\n"
    "another, then together in a table of the runs.\n"
    "  --top N        list the N best individuals (default 10)\n"
    "  --svg FILE     draw the costs into FILE as an SVG picture; for several\n"
    "                 transcripts, the best cost by generation of each run.\n"
    "                 FILE must be new, an SVG picture or empty, and none of\n"
    "                 the transcripts\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "Exit status: 0, reported whole; 1, no transcript, a damaged one or an\n"
    "unwritable FILE; 2, a wrong command line; 3, a run was cut short.\n"
    "Of several transcripts the worst counts: 1 before 3 before 0.\n";

constexpr const char* kVersion =
    "function-approximator-report " APPROXIMATOR_VERSION "\n";

// A wrong command line: the reason, then where to look.
int usageError(const std::string& reason) {
  std::cerr << kName << reason << "\nTry 'function-approximator-report "
            << "--help' for more information.\n";
  return 2;
}

// Why drawing into `file` could destroy what the command line did not mean
// to; empty when it cannot. A device or a pipe is written as it is.
std::string refusal(const std::string& file,
                    const std::vector<std::string>& inputs) {
  struct stat target {};
  if (file.starts_with('-')) return "--svg wants a file name, not " + file;
  if (stat(file.c_str(), &target) != 0) return {};  // a new file
  if (S_ISDIR(target.st_mode)) return "--svg " + file + ": is a directory";
  if (!S_ISREG(target.st_mode)) return {};
  for (const std::string& input : inputs) {
    struct stat other {};
    if ((input == "-" ? fstat(0, &other) : stat(input.c_str(), &other)) == 0 &&
        other.st_dev == target.st_dev && other.st_ino == target.st_ino)
      return "--svg " + file + ": is a transcript being read";
  }
  std::ifstream in(file, std::ios::binary);
  char head[1024];
  in.read(head, sizeof head);
  const std::string_view start(head, static_cast<std::size_t>(in.gcount()));
  if (!start.empty() && start.find("<svg") == start.npos)
    return "--svg " + file + ": exists and is not an SVG picture";
  return {};
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes the picture beside the file (the one a symbolic link names) and
// renames it over it once on disk, so that a failure leaves no half
// picture; a device or a pipe is written as it is. Returns 0 or an errno.
int writeFile(const std::string& file, const std::string& content) {
  struct stat target {};
  const bool exists = stat(file.c_str(), &target) == 0;
  if (exists && !S_ISREG(target.st_mode)) {
    const int fd = open(file.c_str(), O_WRONLY | O_TRUNC);
    const bool written = fd >= 0 && writeAll(fd, content);
    const int error = errno;
    return fd >= 0 && close(fd) != 0 ? errno : written ? 0 : error;
  }
  char resolved[PATH_MAX];
  const std::string path =
      realpath(file.c_str(), resolved) != nullptr ? resolved : file;
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return errno;
  const mode_t mask = umask(0);
  umask(mask);
  const bool written =
      fchmod(fd, exists ? target.st_mode & 07777 : 0666 & ~mask) == 0 &&
      writeAll(fd, content) && fsync(fd) == 0;
  const int error = errno;
  if (close(fd) == 0 && written &&
      std::rename(temporary.c_str(), path.c_str()) == 0)
    return 0;
  const int failure = written ? errno : error;
  unlink(temporary.c_str());
  return failure;
}

// Names in natural order: runs of digits by their number (run-2 before
// run-10), the rest byte by byte.
bool naturalLess(std::string_view x, std::string_view y) {
  // The next piece of a name: a run of digits, by its number, or a byte.
  const auto piece = [](std::string_view& s) {
    const std::size_t digits =
        std::min(s.find_first_not_of("0123456789"), s.size());
    std::string_view part = s.substr(0, std::max<std::size_t>(digits, 1));
    s.remove_prefix(part.size());
    if (digits > 0)
      part.remove_prefix(std::min(part.find_first_not_of('0'), part.size()));
    return std::tuple(digits == 0, digits > 0 ? part.size() : 0, part);
  };
  while (!x.empty() && !y.empty())
    if (const auto p = piece(x), q = piece(y); p != q) return p < q;
  return x.empty() && !y.empty();
}

// The worse of two exit statuses: damage before a cut, a cut before success.
int worse(int x, int y) { return x == 1 || y == 1 ? 1 : std::max(x, y); }

// Reports on the transcript in `input`, standard input for "-", and adds its
// summary to `runs` unless it is none. Returns the exit status.
int reportOn(const std::string& input, std::size_t top,
             std::vector<report::NamedSummary>& runs) {
  const std::string source = input == "-" ? "standard input" : input;
  std::ifstream file(input == "-" ? "" : input, std::ios::binary);
  struct stat status {};
  if (input != "-" && stat(input.c_str(), &status) == 0 &&
      S_ISDIR(status.st_mode)) {
    std::cerr << kName << input << " is a directory, not a transcript\n";
    return 1;
  }
  if (input != "-" && !file.is_open()) {
    std::cerr << kName << "cannot open " << input << ": "
              << std::strerror(errno) << '\n';
    return 1;
  }
  report::Summary summary =
      report::readTranscript(input == "-" ? std::cin : file, top);
  if (summary.ending == report::Ending::kNotTranscript) {
    std::cerr << kName << source
              << " is not a transcript of function-approximator\n";
    return 1;
  }
  report::writeReport(std::cout, summary, top);
  int result = 0;
  if (summary.ending != report::Ending::kFinished) {
    const bool damaged = summary.ending == report::Ending::kDamaged;
    std::cerr << kName << source << ": "
              << (damaged ? "line " + std::to_string(summary.problemLine) +
                                ": " + summary.problem
                          : "the transcript ends before \"FINISHED\": the run "
                            "was cut short")
              << "; the report covers the " << summary.individuals
              << (summary.individuals == 1 ? " individual" : " individuals")
              << " read in full\n";
    result = damaged ? 1 : 3;
  }
  runs.push_back({source, std::move(summary)});
  return result;
}

// Reports on each transcript, then on all together, in natural order of
// their names, when there are several; draws the pictures into `svgFile`
// unless it is null.
int reportOnAll(const std::vector<std::string>& inputs, std::size_t top,
                const char* svgFile) {
  std::vector<report::NamedSummary> runs;
  int status = 0;
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    if (inputs.size() > 1)
      std::cout << (k > 0 ? "\n" : "") << "Transcript "
                << report::printable(inputs[k] == "-" ? "standard input"
                                                      : inputs[k])
                << "\n";
    status = worse(status, reportOn(inputs[k], top, runs));
  }
  std::stable_sort(runs.begin(), runs.end(), [](const auto& x, const auto& y) {
    return naturalLess(x.source, y.source);
  });
  if (inputs.size() > 1) {
    std::cout << '\n';
    report::writeRunsTable(std::cout, runs);
  }
  if (!std::cout.flush()) {
    std::cerr << kName << "cannot write the report: " << std::strerror(errno)
              << '\n';
    status = 1;
  }
  if (svgFile != nullptr && !runs.empty()) {
    std::ostringstream svg;
    if (inputs.size() > 1) report::writeRunsSvg(svg, runs);
    if (inputs.size() == 1)
      report::writeSvg(svg, runs.front().summary, runs.front().source);
    if (const int error = writeFile(svgFile, svg.str()); error != 0) {
      std::cerr << kName << "cannot write " << svgFile << ": "
                << std::strerror(error) << '\n';
      status = 1;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  enum { kTop = 1, kSvg };
  static const option longOptions[] = {
      {"top", required_argument, nullptr, kTop},
      {"svg", required_argument, nullptr, kSvg},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0}};
  std::size_t top = 10;
  const char* svgFile = nullptr;
  opterr = 0;
  for (int code;
       (code = getopt_long(argc, argv, ":hV", longOptions, nullptr)) != -1;) {
    const std::string_view value = optarg != nullptr ? optarg : "";
    std::size_t number = 0;
    const auto [end, failed] =
        std::from_chars(value.data(), value.data() + value.size(), number);
    if (code == 'h' || code == 'V') {
      if (std::cout << (code == 'h' ? kUsage : kVersion) << std::flush)
        return 0;
      std::cerr << kName
                << "cannot write to standard output: " << std::strerror(errno)
                << '\n';
      return 1;
    }
    if (code == kSvg) {
      svgFile = optarg;
    } else if (code == kTop && failed == std::errc() &&
               end == value.data() + value.size()) {
      top = number;
    } else if (code == kTop) {
      return usageError("--top wants a whole number of 0 or more");
    } else {  // an unknown option, or one without its value
      return usageError("unknown option or missing value: " +
                        (optopt > ' '
                             ? std::string("-") + static_cast<char>(optopt)
                             : std::string(argv[optind - 1])));
    }
  }
  std::vector<std::string> inputs(argv + optind, argv + argc);
  if (inputs.empty()) inputs.push_back("-");
  if (svgFile != nullptr)
    if (const std::string why = refusal(svgFile, inputs); !why.empty())
      return usageError(why);
  try {
    return reportOnAll(inputs, top, svgFile);
  } catch (const std::exception& failure) {
    std::cerr << kName << failure.what() << '\n';
    return 1;
  }
}
