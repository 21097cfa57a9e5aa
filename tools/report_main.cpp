// function-approximator-report: the command line around the report.
#include <getopt.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>

#include "svg_pictures.hpp"
#include "text_report.hpp"
#include "transcript_summary.hpp"

namespace {

constexpr const char* kName = "function-approximator-report: ";

constexpr const char* kUsage =
    "Usage: function-approximator-report [--top N] [--svg FILE] [TRANSCRIPT]\n"
    "Reports on a transcript of function-approximator, standard input when\n"
    "TRANSCRIPT is absent or \"-\".\n"
    "  --top N     list the N best individuals (default 10)\n"
    "  --svg FILE  draw the costs into FILE as an SVG picture\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "Exit status: 0, reported whole; 1, no transcript, a damaged one or an\n"
    "unwritable FILE; 2, a wrong command line; 3, the run was cut short.\n";

constexpr const char* kVersion =
    "function-approximator-report " APPROXIMATOR_VERSION "\n";

// A wrong command line: the reason, then the usage.
int usageError(const std::string& reason) {
  std::cerr << kName << reason << '\n' << kUsage;
  return 2;
}

// Reports on the transcript in `input`, standard input for "-"; draws the
// pictures into `svgFile` unless it is null. Returns the exit status.
int reportOn(const std::string& input, std::size_t top, const char* svgFile) {
  const std::string source = input == "-" ? "standard input" : input;
  std::ifstream file(input == "-" ? "" : input, std::ios::binary);
  if (input != "-" && !file.is_open()) {
    std::cerr << kName << "cannot open " << input << ": "
              << std::strerror(errno) << '\n';
    return 1;
  }
  const report::Summary summary =
      report::readTranscript(input == "-" ? std::cin : file, top);
  if (summary.ending == report::Ending::kNotTranscript) {
    std::cerr << kName << source
              << " is not a transcript of function-approximator\n";
    return 1;
  }
  report::writeReport(std::cout, summary, top);
  int status = std::cout.flush() ? 0 : 1;
  if (status != 0) std::cerr << kName << "cannot write the report\n";
  if (svgFile != nullptr) {
    std::ofstream svg(svgFile, std::ios::binary | std::ios::trunc);
    if (svg.is_open()) report::writeSvg(svg, summary, source);
    if (!svg.flush()) {
      std::cerr << kName << "cannot write " << svgFile << '\n';
      status = 1;
    }
  }
  if (summary.ending == report::Ending::kFinished) return status;
  const bool damaged = summary.ending == report::Ending::kDamaged;
  std::cerr << kName << source << ": "
            << (damaged ? "line " + std::to_string(summary.problemLine) + ": " +
                              summary.problem
                        : "the transcript ends before \"FINISHED\": the run "
                          "was cut short")
            << "; the report covers the " << summary.individuals
            << (summary.individuals == 1 ? " individual" : " individuals")
            << " read in full\n";
  return damaged || status != 0 ? 1 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  enum { kTop = 1, kSvg, kHelp, kShowVersion };
  static const option longOptions[] = {
      {"top", required_argument, nullptr, kTop},
      {"svg", required_argument, nullptr, kSvg},
      {"help", no_argument, nullptr, kHelp},
      {"version", no_argument, nullptr, kShowVersion},
      {nullptr, 0, nullptr, 0}};
  std::size_t top = 10;
  const char* svgFile = nullptr;
  opterr = 0;
  // Only long options: an unknown short one is known by optopt alone.
  for (int code;
       (code = getopt_long(argc, argv, ":", longOptions, nullptr)) != -1;) {
    const std::string_view value = optarg != nullptr ? optarg : "";
    std::size_t number = 0;
    const auto [end, failed] =
        std::from_chars(value.data(), value.data() + value.size(), number);
    if (code == kHelp || code == kShowVersion) {
      std::cout << (code == kHelp ? kUsage : kVersion);
      return 0;
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
  if (argc - optind > 1) return usageError("one transcript at a time");
  try {
    return reportOn(optind < argc ? argv[optind] : "-", top, svgFile);
  } catch (const std::exception& failure) {
    std::cerr << kName << failure.what() << '\n';
    return 1;
  }
}
