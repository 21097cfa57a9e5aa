#include "evaluator.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "transcript.hpp"

std::string a;
std::string b;
std::string c;

namespace {

static_assert(sizeof(int) == 4, "positions are 32-bit signed integers");

// Longest text whose positions fit a 32-bit signed integer.
constexpr std::size_t kMaxTextLength = INT_MAX;

bool isSign(char ch) { return ch == '+' || ch == '-'; }

// Plain decimals ("31.25", "-7", "0.5") with at most 15 digits are exact
// as an integer over a power of ten, and one IEEE division then rounds
// exactly as atof does. Returns false for every other text, which goes to
// atof itself.
[[gnu::always_inline]] inline bool plainDecimal(std::string_view text,
                                                double& value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3, 1e4,  1e5,
                                            1e6,  1e7,  1e8,  1e9, 1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15};
  const char* p = text.data();
  const char* const end = p + text.size();
  const bool negative = p != end && *p == '-';
  if (p != end && (*p == '-' || *p == '+')) ++p;
  const char* const first = p;
  const char* point = nullptr;
  std::uint64_t digits = 0;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit < 10) {
      digits = digits * 10 + digit;
    } else if (*p == '.' && point == nullptr) {
      point = p;
    } else {
      return false;
    }
  }
  const auto count = (end - first) - (point != nullptr ? 1 : 0);
  if (count == 0 || count > 15) return false;
  value = static_cast<double>(digits);
  if (point != nullptr) value /= kPowersOfTen[end - point - 1];
  if (negative) value = -value;
  return true;
}

// Everything but plain decimals: atof wants a terminated copy.
[[gnu::noinline, gnu::cold]] double atofOf(std::string_view text) {
  return std::atof(std::string(text).c_str());
}

// Inlined into the evaluation loop: most operands are plain decimals.
[[gnu::always_inline]] inline float numberOf(std::string_view text) {
  if (text.empty()) return 0.0f;
  double value;
  if (!plainDecimal(text, value)) value = atofOf(text);
  return static_cast<float>(value);
}

// What a character is to the evaluator.
enum class Role : unsigned char { kOperand, kTermOperator, kSign };

constexpr auto kRoles = [] {
  std::array<Role, 256> roles{};
  for (const char ch : {'s', '*', '/'}) {
    roles[static_cast<unsigned char>(ch)] = Role::kTermOperator;
  }
  for (const char ch : {'+', '-'}) {
    roles[static_cast<unsigned char>(ch)] = Role::kSign;
  }
  return roles;
}();

Role roleOf(char ch) { return kRoles[static_cast<unsigned char>(ch)]; }

// When both operands are NaN the processor keeps the first one's sign, but
// the compiler may swap the operands of + and *: the NaN of the operand
// written first is kept here explicitly, so the sign that a transcript shows
// follows the written order whatever the compiler chose.
float addInOrder(float x, float y) {
  return std::isnan(x) && std::isnan(y) ? x : x + y;
}

float multiplyInOrder(float x, float y) {
  return std::isnan(x) && std::isnan(y) ? x : x * y;
}

float applyTermOperator(char op, float result, float v) {
  switch (op) {
    case 's':
      return addInOrder(result, std::sqrt(v));
    case '/':
      return result / v;
    default:
      return multiplyInOrder(v, result);
  }
}

// Both levels in one pass. Operands lie between any two operators; s, * and
// / fold the operands of a term from left to right, and each sign (or the
// end) closes a term, which + and - then fold into the sum from left to
// right. The piece before the first operator starts each fold. Without
// `signsSplit` the whole text is one term.
template <bool signsSplit>
float evaluate(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  float sum = 0.0f;
  char sign = '\0';  // before the term being read; none for the first term
  float term = 0.0f;
  char op = '\0';  // before the operand being read; none for the first
  for (;;) {
    const char* const operand = p;
    for (; p != end; ++p) {
      const Role role = roleOf(*p);
      if (role == Role::kTermOperator || (signsSplit && role == Role::kSign)) {
        break;
      }
    }
    const float v = numberOf({operand, static_cast<std::size_t>(p - operand)});
    term = op == '\0' ? v : applyTermOperator(op, term, v);
    if (p == end || isSign(*p)) {
      sum = sign == '\0'  ? term
            : sign == '+' ? addInOrder(term, sum)
                          : sum - term;
      if (p == end) return sum;
      sign = *p;
      op = '\0';
    } else {
      op = *p;
    }
    ++p;
  }
}

}  // namespace

double decimalValue(std::string_view text) {
  double value;
  return plainDecimal(text, value) ? value : atofOf(text);
}

std::vector<int> findChar(std::string str, char toFind) {
  return operatorPositions(str, std::string_view(&toFind, 1));
}

std::vector<int> sortAsc(std::vector<int> vector) {
  std::sort(vector.begin(), vector.end());
  return vector;
}

float number(std::string exp) { return numberOf(exp); }

std::vector<int> operatorPositions(std::string_view text,
                                   std::string_view operators) {
  if (text.size() > kMaxTextLength) {
    throw std::length_error("text too long for 32-bit positions");
  }
  std::vector<int> positions;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (operators.find(text[i]) != std::string_view::npos) {
      positions.push_back(static_cast<int>(i));
    }
  }
  return positions;
}

// A term handed over on its own has no sum level: its signs are part of its
// operands, as in "4*-3".
float muldiv(std::string exp) { return evaluate<false>(exp); }

std::string parseSigns(std::string exp) {
  // Folding only ever shortens the text, so it is done in place.
  char* write = exp.data();
  const char* read = write;
  const char* const end = read + exp.size();
  while (read != end) {
    const char ch = *read++;
    if (!isSign(ch)) {
      *write++ = ch;
      continue;
    }
    // A run folds pairwise: two unlike signs give "-", two like ones "+".
    bool negative = ch == '-';
    for (; read != end && isSign(*read); ++read) {
      negative = negative != (*read == '-');
    }
    *write++ = negative ? '-' : '+';
  }
  exp.resize(static_cast<std::size_t>(write - exp.data()));
  return exp;
}

float sumres(std::string expressionToParse) {
  expressionToParse = parseSigns(std::move(expressionToParse));
  writeLine("Parsed: ", expressionToParse);
  return evaluate<true>(expressionToParse);
}

namespace {

// The value texts of the letters as the three passes leave them: by the time
// the "b" pass runs, the value of a has been put in, so its b's and c's are
// replaced too; likewise the c's of b's value. A value is never searched
// again within its own pass.
struct Values {
  std::string a, b, c;
};

// The letters of exp counted, once the length of the result is known to fit:
// it is worked out from the counts alone, because values that hold the
// letters multiply out and can make the text grow far beyond memory.
using LetterCounts = std::array<std::size_t, 3>;

// How many a's, b's and c's the text holds.
LetterCounts countLetters(std::string_view text) {
  LetterCounts counts{};
  for (const char ch : text) {
    counts[0] += static_cast<std::size_t>(ch == 'a');
    counts[1] += static_cast<std::size_t>(ch == 'b');
    counts[2] += static_cast<std::size_t>(ch == 'c');
  }
  return counts;
}

LetterCounts checkedCounts(std::string_view exp) {
  const LetterCounts counts = countLetters(exp);
  const LetterCounts inA = countLetters(a);
  const LetterCounts inB = countLetters(b);
  const auto lengthC = static_cast<long double>(c.size());
  const long double lengthB = static_cast<long double>(b.size()) +
                              static_cast<long double>(inB[2]) * (lengthC - 1);
  const long double lengthA = static_cast<long double>(a.size()) +
                              static_cast<long double>(inA[1]) * (lengthB - 1) +
                              static_cast<long double>(inA[2]) * (lengthC - 1);
  const long double length =
      static_cast<long double>(exp.size() - counts[0] - counts[1] - counts[2]) +
      static_cast<long double>(counts[0]) * lengthA +
      static_cast<long double>(counts[1]) * lengthB +
      static_cast<long double>(counts[2]) * lengthC;
  if (length > static_cast<long double>(kMaxTextLength)) {
    throw std::length_error(
        "the expression is too long once the test values are put in");
  }
  return counts;
}

// Writes the text with its letters replaced, and with every run of signs
// folded as it forms when `fold` is set, in one sweep into `out`. `counts`
// are the letters of exp, from checkedCounts.
void substituteInto(std::string_view exp, const LetterCounts& counts,
                    const Values& values, bool fold, std::string& out) {
  // Pieces of up to kPad characters are copied kPad bytes at a time, a fixed
  // size the compiler turns into one move: every piece is followed by that
  // much readable padding, and the text by that much slack.
  constexpr std::size_t kPad = 16;
  static const auto kSingles = [] {
    std::array<char, 256 + kPad> singles{};
    for (std::size_t i = 0; i < 256; ++i) singles[i] = static_cast<char>(i);
    return singles;
  }();
  std::string padded;
  padded.reserve(values.a.size() + values.b.size() + values.c.size() +
                 3 * kPad);
  std::array<std::string_view, 3> letterPieces;
  const std::string* const letterValues[] = {&values.a, &values.b, &values.c};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t at = padded.size();
    padded += *letterValues[i];
    padded.append(kPad, '\0');
    letterPieces[i] = {padded.data() + at, letterValues[i]->size()};
  }

  const std::size_t length = exp.size() - counts[0] - counts[1] - counts[2] +
                             counts[0] * values.a.size() +
                             counts[1] * values.b.size() +
                             counts[2] * values.c.size();
  out.resize(length + kPad);
  char* const begin = out.data();
  char* write = begin;
  for (const char ch : exp) {
    const auto byte = static_cast<unsigned char>(ch);
    const unsigned letter = byte - unsigned{'a'};
    std::string_view piece = letter < 3 ? letterPieces[letter]
                                        : std::string_view(&kSingles[byte], 1);
    if (piece.empty()) continue;
    // A sign that follows a sign joins it: unlike signs give "-". Only a
    // piece's first character can: a value's own runs are folded already
    // (see parseString).
    if (fold && isSign(piece[0]) && write != begin && isSign(write[-1])) {
      write[-1] = write[-1] == piece[0] ? '+' : '-';
      piece.remove_prefix(1);
    }
    if (piece.size() <= kPad) {
      std::memcpy(write, piece.data(), kPad);
    } else {
      std::memcpy(write, piece.data(), piece.size());
    }
    write += piece.size();
  }
  out.resize(static_cast<std::size_t>(write - begin));
}

// Only the values the expression uses are built (a's needs b's when it holds
// a b), so none is longer than the result. Each is the earlier passes
// applied to a value: a letter whose pass is over stands for itself.
Values passValues(const LetterCounts& counts) {
  Values values;
  values.c = c;
  if (counts[1] > 0 || (counts[0] > 0 && a.find('b') != std::string::npos)) {
    substituteInto(b, countLetters(b), {"a", "b", values.c}, false, values.b);
  }
  if (counts[0] > 0) {
    substituteInto(a, countLetters(a), {"a", values.b, values.c}, false,
                   values.a);
  }
  return values;
}

}  // namespace

std::string replaceVar(std::string exp) {
  const LetterCounts counts = checkedCounts(exp);
  std::string out;
  substituteInto(exp, counts, passValues(counts), false, out);
  return out;
}

// The same as sumres(replaceVar(exp)), with the substitution and the folding
// done in one sweep. A run folds to the parity of its "-" signs, so folding
// each value once beforehand, and every run as it forms, gives what folding
// the finished text does.
namespace {

std::string substitutedAndFolded(std::string_view exp) {
  const LetterCounts counts = checkedCounts(exp);
  Values values = passValues(counts);
  for (std::string* value : {&values.a, &values.b, &values.c}) {
    *value = parseSigns(std::move(*value));
  }
  std::string folded;
  substituteInto(exp, counts, values, true, folded);
  return folded;
}

}  // namespace

float parseString(std::string exp) {
  const std::string folded = substitutedAndFolded(exp);
  writeLine("Parsed: ", folded);
  return evaluate<true>(folded);
}

float expressionValue(std::string_view exp) {
  return evaluate<true>(substitutedAndFolded(exp));
}
