// function-approximator-report: the command line around the report.
#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
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
    "                 transcripts, the best cost by generation of each run\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "Exit status: 0, reported whole; 1, no transcript, a damaged one or an\n"
    "unwritable FILE; 2, a wrong command line; 3, a run was cut short.\n"
    "Of several transcripts the worst counts: 1 before 3 before 0.\n";

constexpr const char* kVersion =
    "function-approximator-report " APPROXIMATOR_VERSION "\n";

// A wrong command line: the reason, then the usage.
int usageError(const std::string& reason) {
  std::cerr << kName << reason << '\n' << kUsage;
  return 2;
}

// The worse of two exit statuses: damage before a cut, a cut before success.
int worse(int x, int y) { return x == 1 || y == 1 ? 1 : std::max(x, y); }

// Reports on the transcript in `input`, standard input for "-", and adds its
// summary to `runs` unless it is none. Returns the exit status.
int reportOn(const std::string& input, std::size_t top,
             std::vector<report::NamedSummary>& runs) {
  const std::string source = input == "-" ? "standard input" : input;
  std::ifstream file(input == "-" ? "" : input, std::ios::binary);
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
  int status = 0;
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
    status = damaged ? 1 : 3;
  }
  runs.push_back({source, std::move(summary)});
  return status;
}

// Reports on each transcript, then on all together when there are several;
// draws the pictures into `svgFile` unless it is null.
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
  if (inputs.size() > 1) {
    std::cout << '\n';
    report::writeRunsTable(std::cout, runs);
  }
  if (!std::cout.flush()) {
    std::cerr << kName << "cannot write the report\n";
    status = 1;
  }
  if (svgFile != nullptr && !runs.empty()) {
    std::ofstream svg(svgFile, std::ios::binary | std::ios::trunc);
    if (svg.is_open() && inputs.size() > 1) report::writeRunsSvg(svg, runs);
    if (svg.is_open() && inputs.size() == 1)
      report::writeSvg(svg, runs.front().summary, runs.front().source);
    if (!svg.flush()) {
      std::cerr << kName << "cannot write " << svgFile << '\n';
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
  try {
    return reportOnAll(inputs, top, svgFile);
  } catch (const std::exception& failure) {
    std::cerr << kName << failure.what() << '\n';
    return 1;
  }
}
