#include <cerrno>
#include <csignal>
#include <iostream>
#include <new>
#include <stdexcept>

#include "driver.hpp"
#include "transcript.hpp"

int main() {
  try {
    return runApproximator();
  } catch (const OutputError& failure) {
    if (failure.error() == EPIPE) {
      // The reader went away (as with | head): end quietly, as a Unix
      // tool does on a broken pipe.
      std::signal(SIGPIPE, SIG_DFL);
      std::raise(SIGPIPE);
      return 141;
    }
    std::cerr << "function-approximator: " << failure.what() << std::endl;
  } catch (const std::bad_alloc&) {
    std::cerr << "function-approximator: out of memory" << std::endl;
  } catch (const std::length_error& failure) {
    std::cerr << "function-approximator: " << failure.what() << std::endl;
  }
  return 1;
}
