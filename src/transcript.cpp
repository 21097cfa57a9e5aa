#include "transcript.hpp"

#include <cerrno>
#include <cstring>
#include <string>

OutputError::OutputError(int error)
    : std::runtime_error(std::string("cannot write to standard output: ") +
                         std::strerror(error)),
      error_(error) {}

void checkOutput() {
  if (!std::cout) {
    throw OutputError(errno);
  }
}
