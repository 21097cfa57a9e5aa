#include "transcript.hpp"

#include <cerrno>
#include <charconv>
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

void writeText(std::string_view line) {
  std::cout.write(line.data(), static_cast<std::streamsize>(line.size()))
      << std::endl;
  checkOutput();
}

std::string_view formatFloat(float value, char (&buffer)[32]) {
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                    std::chars_format::general, 6);
  (void)error;  // 32 characters hold any float in this notation
  return {buffer, static_cast<std::size_t>(end - buffer)};
}

std::string& transcript_detail::lineBuffer() {
  static std::string line;
  return line;
}

void transcript_detail::releaseIfLarge(std::string& line) {
  if (line.capacity() > (std::size_t{1} << 20)) std::string().swap(line);
}
