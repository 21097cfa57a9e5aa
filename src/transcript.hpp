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

// A float as an output stream writes it in its default notation: general
// notation with six significant digits ("0.1", "1e+06", "-nan").
// std::to_chars gives the same characters as the stream's printf-based
// formatting, at a fraction of its cost.
std::string_view formatFloat(float value, char (&buffer)[32]);

namespace transcript_detail {
template <typename Part>
void put(const Part& part) {
  std::cout << part;
}
inline void put(float value) {
  char buffer[32];
  std::cout << formatFloat(value, buffer);
}
}  // namespace transcript_detail

// Writes one transcript line. Every line ends with std::endl: users compare
// transcripts while the program runs, so each line is flushed as it is made.
template <typename... Parts>
void writeLine(const Parts&... parts) {
  (transcript_detail::put(parts), ...);
  std::cout << std::endl;
  checkOutput();
}
