// Replays a saved transcript to standard output line by line with std::endl:
// the same bytes and the same flushes as the run that made it, and none of
// its work. The time it takes is the floor for the run.
#include <getopt.h>

#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "Usage: transcript-replay TRANSCRIPT\n"
    "Writes the saved transcript TRANSCRIPT to standard output line by line,\n"
    "each line flushed as function-approximator flushes it: the time it takes\n"
    "is the floor a run's time is compared with.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help and exit\n";

}  // namespace

int main(int argc, char** argv) {
  static const option longOptions[] = {{"help", no_argument, nullptr, 'h'},
                                       {nullptr, 0, nullptr, 0}};
  opterr = 0;
  for (int code;
       (code = getopt_long(argc, argv, "h", longOptions, nullptr)) != -1;) {
    if (code == 'h') {
      std::cout << kUsage << std::flush;
      return std::cout ? 0 : 1;
    }
    std::cerr << "transcript-replay: unknown option\n" << kUsage << std::flush;
    return 2;
  }
  if (argc - optind != 1) {
    std::cerr << kUsage << std::flush;
    return 2;
  }
  const char* const name = argv[optind];
  std::ifstream transcript(name, std::ios::binary);
  if (!transcript) {
    std::cerr << "transcript-replay: cannot open " << name << std::endl;
    return 1;
  }
  for (std::string line; std::getline(transcript, line);) {
    std::cout << line << std::endl;
  }
  return std::cout ? 0 : 1;
}
