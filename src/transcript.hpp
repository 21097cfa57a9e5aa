// The transcript: every line the program writes to standard output.
#pragma once

#include <iostream>
#include <stdexcept>
#include <string_view>

// Written between blocks of output.
inline constexpr std::string_view kSeparator =
    "************************************************";

// Standard output could not be written (a full disk, a closed descriptor, a
// reader that went away). Carries the errno of the failed write.
class OutputError : public std::runtime_error {
 public:
  explicit OutputError(int error);
  int error() const { return error_; }

 private:
  int error_;
};

// Throws OutputError once standard output has failed, so that a run whose
// transcript is lost stops at once instead of evaluating on in vain.
void checkOutput();

// Writes one transcript line. Every line ends with std::endl: users compare
// transcripts while the program runs, so each line is flushed as it is made.
template <typename... Parts>
void writeLine(const Parts&... parts) {
  (std::cout << ... << parts) << std::endl;
  checkOutput();
}
