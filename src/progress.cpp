#include "progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

enum class Terminal { kUnknown, kShown, kHidden };

struct ProgressState {
  Terminal terminal = Terminal::kUnknown;
  Clock::time_point start;
  Clock::time_point lastDraw;
  std::size_t drawnWidth = 0;  // columns the line on screen takes, 0 if none
  std::size_t maxWidth = 79;
};

ProgressState state;

void writeError(const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(STDERR_FILENO, data, left);
    if (written < 0 && errno == EINTR) continue;
    // A terminal that went away takes no status line: nothing to do.
    if (written <= 0) return;
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

// 1234567 as "1,234,567", whatever the locale.
std::string grouped(long long value) {
  const std::string digits = std::to_string(value);
  const std::size_t sign = digits[0] == '-' ? 1 : 0;
  std::string text = digits.substr(0, sign);
  for (std::size_t i = sign; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

// A line longer than the terminal would wrap, and the carriage return would
// then redraw only its last row.
std::size_t terminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    return static_cast<std::size_t>(size.ws_col) - 1;
  }
  return 79;
}

}  // namespace

void showProgress(long long individual, long long individuals, int generation,
                  int generations) {
  if (state.terminal == Terminal::kHidden) return;
  const Clock::time_point now = Clock::now();
  if (state.terminal == Terminal::kUnknown) {
    const bool shown = isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) == 0;
    state.terminal = shown ? Terminal::kShown : Terminal::kHidden;
    state.start = now;
    state.maxWidth = shown ? terminalWidth() : 0;
    return;
  }
  if (now - state.start < kQuietStart ||
      (state.drawnWidth > 0 && now - state.lastDraw < kRedrawEvery)) {
    return;
  }
  state.lastDraw = now;
  std::string text;
  if (generations > 0) {
    text = "generation " + grouped(generation) + " of " + grouped(generations) +
           ", ";
  }
  text +=
      "individual " + grouped(individual + 1) + " of " + grouped(individuals);
  if (text.size() > state.maxWidth) text.resize(state.maxWidth);
  // Blanks cover what is left of a longer line drawn before.
  const std::size_t width = text.size();
  if (width < state.drawnWidth) text.append(state.drawnWidth - width, ' ');
  writeError('\r' + text);
  state.drawnWidth = width;
}

void endProgress() {
  if (state.drawnWidth == 0) return;
  writeError('\r' + std::string(state.drawnWidth, ' ') + '\r');
  state.drawnWidth = 0;
}
