#include "progress.hpp"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
// Far more than a status line needs: the blanks that wipe one out are kept
// ready for a signal handler, which cannot build them.
constexpr std::size_t kMaxWidth = 200;

enum class Terminal { kUnknown, kShown, kHidden };

struct ProgressState {
  Terminal terminal = Terminal::kUnknown;
  Clock::time_point start;
  Clock::time_point lastDraw;
  std::size_t maxWidth = 0;
};

ProgressState state;
// Columns the line on screen takes, 0 when none is drawn. A signal handler
// reads and clears it too.
volatile std::sig_atomic_t drawnWidth = 0;
char blanks[kMaxWidth + 1];  // a carriage return, then blanks

// Only write(2) here: this runs inside signal handlers too.
void writeError(const char* data, std::size_t left) {
  while (left > 0) {
    const ssize_t written = ::write(STDERR_FILENO, data, left);
    if (written < 0 && errno == EINTR) continue;
    // A terminal that went away takes no status line: nothing to do.
    if (written <= 0) return;
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

void wipeLine() {
  const std::sig_atomic_t width = drawnWidth;
  if (width == 0) return;
  drawnWidth = 0;
  writeError(blanks, static_cast<std::size_t>(width) + 1);
  writeError("\r", 1);
}

// A run ended by a signal (a reader gone from the pipe, an interrupt) leaves
// no status line behind either; the signal then ends it as it would have.
extern "C" void wipeLineAndEnd(int signal) {
  const int savedErrno = errno;
  wipeLine();
  errno = savedErrno;
  std::raise(signal);  // the handler was reset to the default on entry
}

void wipeOnEndingSignals() {
  for (const int signal : {SIGHUP, SIGINT, SIGPIPE, SIGTERM}) {
    struct sigaction current {};
    // A signal ignored or handled already stays as it is.
    if (sigaction(signal, nullptr, &current) != 0 ||
        current.sa_handler != SIG_DFL) {
      continue;
    }
    struct sigaction wipe {};
    wipe.sa_handler = wipeLineAndEnd;
    wipe.sa_flags = SA_RESETHAND;
    sigemptyset(&wipe.sa_mask);
    sigaction(signal, &wipe, nullptr);
  }
}

// 1234567 as "1,234,567", whatever the locale. Counts are never negative.
std::string grouped(long long count) {
  const std::string digits = std::to_string(count);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

// A line longer than the terminal would wrap, and the carriage return would
// then redraw only its last row.
std::size_t terminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
    return std::min<std::size_t>(size.ws_col - 1u, kMaxWidth);
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
    if (shown) {
      state.maxWidth = terminalWidth();
      blanks[0] = '\r';
      std::fill(blanks + 1, blanks + sizeof blanks, ' ');
      wipeOnEndingSignals();
    }
    return;
  }
  if (now - state.start < kQuietStart ||
      (drawnWidth > 0 && now - state.lastDraw < kRedrawEvery)) {
    return;
  }
  state.lastDraw = now;
  std::string text = "\r";
  if (generations > 0) {
    text += "generation " + grouped(generation) + " of " +
            grouped(generations) + ", ";
  }
  text +=
      "individual " + grouped(individual + 1) + " of " + grouped(individuals);
  if (text.size() > state.maxWidth + 1) text.resize(state.maxWidth + 1);
  // Blanks cover what is left of a longer line drawn before.
  const std::size_t width = text.size() - 1;
  const auto drawn = static_cast<std::size_t>(drawnWidth);
  if (width < drawn) text.append(drawn - width, ' ');
  // A signal arriving while the line is written wipes out the longer of the
  // two.
  drawnWidth = static_cast<std::sig_atomic_t>(std::max(width, drawn));
  writeError(text.data(), text.size());
  drawnWidth = static_cast<std::sig_atomic_t>(width);
}

void endProgress() { wipeLine(); }
