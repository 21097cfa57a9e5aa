// libFuzzer target for the string evaluator.
//
// The input is cut at its first three 0xFF bytes: the pieces before the cuts
// are the values of a, b and c in that order (those without a cut are empty),
// and what follows the last cut is the expression (further 0xFF bytes stay in
// it). An input without 0xFF is an expression with all three values empty.
// Every input is evaluated with parseString, and the fast procedures are
// checked against plain transcriptions of the slow ones they replaced. A
// failed check traps, so the fuzzer keeps the input as a crash.
//
// The substitution must also stay within the texts it handles: while an
// expression is substituted and evaluated, no single allocation may be much
// larger than the expression, the three values and the result together.
// Values that hold letters multiply out, and building them before the result
// is known to fit would spend memory on texts the result never holds.
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "evaluator.hpp"
#include "reference.hpp"
#include "transcript.hpp"

namespace {

using reference::isSign;
using reference::Positions;

// The slow references are quadratic or worse: only texts up to this size
// get them, so that every input stays fast.
constexpr std::size_t kSlowLimit = 4096;
// Texts longer than this once the values are put in are not evaluated: the
// evaluation would only spend time and memory on one long text.
constexpr std::uint64_t kEvalLimit = std::uint64_t{1} << 20;

// Swallows the "Parsed: " lines.
class NullBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type ch) override { return traits_type::not_eof(ch); }
  std::streamsize xsputn(const char*, std::streamsize count) override {
    return count;
  }
};

// The largest single allocation while `watching` is set, from the
// sanitizer's malloc hook.
bool watching = false;
std::size_t largestAllocation = 0;

void noteAllocation(const volatile void*, std::size_t size) {
  if (watching && size > largestAllocation) largestAllocation = size;
}
void noteFree(const volatile void*) {}

void require(bool holds) {
  if (!holds) __builtin_trap();
}

std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// --- Checks --------------------------------------------------------------

// The transcript's float text against the stream's own.
void checkFormat(float value) {
  char buffer[32];
  std::ostringstream stream;
  stream << value;
  require(formatFloat(value, buffer) == stream.str());
}

void checkNumber(const std::string& text) {
  const float value = number(text);
  require(bitsOf(value) == bitsOf(reference::number(text)));
  const double exact = decimalValue(text);
  const double viaAtof = std::atof(text.c_str());
  require(std::memcmp(&exact, &viaAtof, sizeof exact) == 0);
  checkFormat(value);
}

// What holds for any text, fast or slow.
void checkText(const std::string& text) {
  const std::string folded = parseSigns(text);
  for (std::size_t i = 1; i < folded.size(); ++i) {
    require(!(isSign(folded[i - 1]) && isSign(folded[i])));
  }
  checkNumber(text);
  if (text.size() > kSlowLimit) return;
  require(folded == reference::parseSigns(text));
  for (const std::string set : {"s*/", "+-"}) {
    require(operatorPositions(text, set) == reference::operatorList(text, set));
  }
  // The pieces muldiv converts: every stretch between two operators.
  const Positions cuts = reference::operatorList(folded, "+-s*/");
  std::size_t begin = 0;
  for (const int cut : cuts) {
    const auto end = static_cast<std::size_t>(cut);
    checkNumber(folded.substr(begin, end - begin));
    begin = end + 1;
  }
  checkNumber(folded.substr(begin));
}

std::uint64_t count(const std::string& text, char ch) {
  std::uint64_t n = 0;
  for (const char x : text) n += x == ch ? 1 : 0;
  return n;
}

// The lengths after the a, b and c passes of the substitution, worked out
// from letter counts alone; the last is the result's. Bounded inputs keep
// them far from overflowing.
struct Lengths {
  std::uint64_t pass[3];
};

Lengths substitutedLengths(const std::string& expression) {
  const std::uint64_t na = count(expression, 'a');
  const std::uint64_t len1 = expression.size() - na + na * a.size();
  const std::uint64_t nb1 = count(expression, 'b') + na * count(a, 'b');
  const std::uint64_t nc1 = count(expression, 'c') + na * count(a, 'c');
  const std::uint64_t len2 = len1 - nb1 + nb1 * b.size();
  const std::uint64_t nc2 = nc1 + nb1 * count(b, 'c');
  const std::uint64_t len3 = len2 - nc2 + nc2 * c.size();
  return {{len1, len2, len3}};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(noteAllocation, noteFree);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static NullBuffer sink;
  std::cout.rdbuf(&sink);
  std::cout.clear();

  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string parts[4];
  std::size_t from = 0;
  for (int i = 0; i < 3; ++i) {
    const std::size_t cut = input.find('\xff', from);
    if (cut == std::string::npos) break;
    parts[i] = input.substr(from, cut - from);
    from = cut + 1;
  }
  parts[3] = input.substr(from);
  a = parts[0];
  b = parts[1];
  c = parts[2];
  const std::string& expression = parts[3];

  for (const std::string& part : parts) checkText(part);

  const Lengths lengths = substitutedLengths(expression);
  const std::uint64_t resultLength = lengths.pass[2];
  // The input and the result bound what one allocation may take: twice
  // their size leaves room for a string's growth by doubling, and the slack
  // covers the small blocks any evaluation makes.
  const std::uint64_t allowed =
      2 * (expression.size() + a.size() + b.size() + c.size() + resultLength) +
      64;

  // A result beyond 32-bit positions is refused before it is built.
  if (resultLength > static_cast<std::uint64_t>(INT_MAX)) {
    for (int call = 0; call < 2; ++call) {
      bool refused = false;
      largestAllocation = 0;
      watching = true;
      try {
        if (call == 0) {
          replaceVar(expression);
        } else {
          parseString(expression);
        }
      } catch (const std::length_error&) {
        refused = true;
      }
      watching = false;
      require(refused);
      require(largestAllocation <= allowed);
    }
    return 0;
  }
  if (resultLength > kEvalLimit) return 0;

  largestAllocation = 0;
  watching = true;
  const std::string replaced = replaceVar(expression);
  const float value = parseString(expression);
  watching = false;
  require(largestAllocation <= allowed);

  require(replaced.size() == resultLength);
  if (std::max({lengths.pass[0], lengths.pass[1], resultLength}) <=
      kSlowLimit) {
    require(replaced == reference::replaceVar(expression));
  }
  checkText(replaced);

  require(bitsOf(value) == bitsOf(sumres(replaced)));
  if (replaced.size() <= kSlowLimit) {
    require(bitsOf(value) == bitsOf(reference::sumres(replaced)));
  }
  checkFormat(value);
  require(static_cast<bool>(std::cout));
  return 0;
}
