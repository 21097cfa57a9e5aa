// The transcript: every line the program writes to standard output.
#pragma once

#include <charconv>
#include <concepts>
#include <iostream>
#include <stdexcept>
#include <string>
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

// A line is put together here first and written in one piece: one call into
// the stream per line instead of one per part.
std::string& lineBuffer();

// A very long line (a deep tree's expression) gives its memory back.
void releaseIfLarge(std::string& line);

inline void append(std::string& line, std::string_view text) { line += text; }
inline void append(std::string& line, char ch) { line += ch; }
// The program computes in single precision: a double here would be a slip.
void append(std::string& line, double value) = delete;

inline void append(std::string& line, float value) {
  char buffer[32];
  line += formatFloat(value, buffer);
}

// Integers in decimal, as the stream writes them in the classic locale.
template <std::integral Integer>
void append(std::string& line, Integer value) {
  char buffer[24];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, value);
  (void)error;  // 24 characters hold any 64-bit integer
  line.append(buffer, end);
}

}  // namespace transcript_detail

// Writes a line made already, as writeLine writes it.
void writeText(std::string_view line);

// Writes one transcript line. Every line ends with std::endl: users compare
// transcripts while the program runs, so each line is flushed as it is made.
template <typename... Parts>
void writeLine(const Parts&... parts) {
  std::string& line = transcript_detail::lineBuffer();
  line.clear();
  (transcript_detail::append(line, parts), ...);
  std::cout.write(line.data(), static_cast<std::streamsize>(line.size()))
      << std::endl;
  transcript_detail::releaseIfLarge(line);
  checkOutput();
}
