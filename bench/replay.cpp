// Replays a saved transcript to standard output line by line with std::endl:
// the same bytes and the same flushes as the run that made it, and none of
// its work. The time it takes is the floor for the run.
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: transcript-replay TRANSCRIPT" << std::endl;
    return 2;
  }
  std::ifstream transcript(argv[1], std::ios::binary);
  if (!transcript) {
    std::cerr << "transcript-replay: cannot open " << argv[1] << std::endl;
    return 1;
  }
  for (std::string line; std::getline(transcript, line);) {
    std::cout << line << std::endl;
  }
  return std::cout ? 0 : 1;
}
