// function-approximator-report: the command line around the report.
// Exit statuses are listed in report::usage().
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "report.hpp"

namespace {

constexpr const char* kName = "function-approximator-report: ";

constexpr int kFailure = 1;
constexpr int kUsage = 2;
constexpr int kCutShort = 3;

int run(const std::vector<std::string>& args) {
  std::string error;
  const std::optional<report::Options> options =
      report::parseOptions(args, error);
  if (!options) {
    std::cerr << kName << error
              << "\nTry 'function-approximator-report --help'.\n";
    return kUsage;
  }
  if (options->help) {
    std::cout << report::usage() << std::flush;
    return std::cout ? 0 : kFailure;
  }

  std::istream* in = &std::cin;
  std::ifstream file;
  std::string source = "standard input";
  if (options->input != "-") {
    source = options->input;
    std::error_code ignored;
    // A directory opens as a stream that merely reads nothing.
    if (std::filesystem::is_directory(source, ignored)) {
      std::cerr << kName << source << ": is a directory\n";
      return kFailure;
    }
    file.open(source, std::ios::binary);
    if (!file.is_open()) {
      std::cerr << kName << "cannot open " << source << ": "
                << std::strerror(errno) << '\n';
      return kFailure;
    }
    in = &file;
  }

  const report::Transcript transcript =
      report::readTranscript(*in, options->top);
  if (transcript.ending == report::Ending::kNotTranscript) {
    std::cerr << kName << source
              << " is not a transcript of function-approximator: "
              << transcript.problem << '\n';
    return kFailure;
  }
  report::writeReport(std::cout, transcript);
  std::cout.flush();

  int status = 0;
  if (options->svgFile) {
    std::ofstream svg(*options->svgFile, std::ios::binary | std::ios::trunc);
    if (!svg.is_open()) {
      std::cerr << kName << "cannot create " << *options->svgFile << ": "
                << std::strerror(errno) << '\n';
      status = kFailure;
    } else {
      report::writeSvg(svg, report::makeHistogram(transcript.finiteCosts),
                       source);
      svg.close();
      if (!svg) {
        std::cerr << kName << "cannot write " << *options->svgFile << '\n';
        status = kFailure;
      }
    }
  }
  if (!std::cout) {
    std::cerr << kName << "cannot write the report\n";
    return kFailure;
  }

  const std::string covered =
      "the report covers the " + std::to_string(transcript.individuals) +
      (transcript.individuals == 1 ? " individual" : " individuals") +
      " read in full";
  switch (transcript.ending) {
    case report::Ending::kDamaged:
      std::cerr << kName << source << ": line " << transcript.problemLine
                << ": " << transcript.problem << "; " << covered << '\n';
      return kFailure;
    case report::Ending::kCutShort:
      std::cerr << kName << source
                << ": the transcript ends before \"FINISHED\": the run was "
                   "cut short; "
                << covered << '\n';
      return status != 0 ? status : kCutShort;
    default:
      return status;
  }
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return run(args);
  } catch (const std::exception& failure) {
    std::cerr << kName << failure.what() << '\n';
    return kFailure;
  }
}
