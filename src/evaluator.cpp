#include "evaluator.hpp"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
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

// A closed term joins the sum by the sign before it; the first term, with
// no sign, starts it.
float applySign(char sign, float sum, float term) {
  return sign == '\0' ? term : sign == '+' ? addInOrder(term, sum) : sum - term;
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
      sum = applySign(sign, sum, term);
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
// Counted in blocks small enough for byte-sized counters, which the
// compiler keeps in vector registers.
LetterCounts countLetters(std::string_view text) {
  LetterCounts counts{};
  constexpr std::size_t kBlock = 240;  // whole vectors, under 256
  for (std::size_t at = 0; at < text.size(); at += kBlock) {
    const std::size_t end = std::min(text.size(), at + kBlock);
    unsigned char inBlock[3] = {0, 0, 0};
    for (std::size_t i = at; i < end; ++i) {
      const char ch = text[i];
      inBlock[0] = static_cast<unsigned char>(inBlock[0] + (ch == 'a'));
      inBlock[1] = static_cast<unsigned char>(inBlock[1] + (ch == 'b'));
      inBlock[2] = static_cast<unsigned char>(inBlock[2] + (ch == 'c'));
    }
    for (std::size_t i = 0; i < 3; ++i) counts[i] += inBlock[i];
  }
  return counts;
}

// The lengths of the letters' values once the passes have put in the
// letters they hold, from the counts alone.
using PassLengths = std::array<long double, 3>;

PassLengths passLengths(const LetterCounts& inA, const LetterCounts& inB) {
  const auto lengthC = static_cast<long double>(c.size());
  const long double lengthB = static_cast<long double>(b.size()) +
                              static_cast<long double>(inB[2]) * (lengthC - 1);
  const long double lengthA = static_cast<long double>(a.size()) +
                              static_cast<long double>(inA[1]) * (lengthB - 1) +
                              static_cast<long double>(inA[2]) * (lengthC - 1);
  return {lengthA, lengthB, lengthC};
}

LetterCounts checkedCounts(std::string_view exp, const PassLengths& lengths) {
  const LetterCounts counts = countLetters(exp);
  const long double length =
      static_cast<long double>(exp.size() - counts[0] - counts[1] - counts[2]) +
      static_cast<long double>(counts[0]) * lengths[0] +
      static_cast<long double>(counts[1]) * lengths[1] +
      static_cast<long double>(counts[2]) * lengths[2];
  if (length > static_cast<long double>(kMaxTextLength)) {
    throw std::length_error(
        "the expression is too long once the test values are put in");
  }
  return counts;
}

// Pieces of up to kPad characters are copied kPad bytes at a time, a fixed
// size the compiler turns into one move: every piece is followed by that
// much readable padding, and every text written by that much slack.
constexpr std::size_t kPad = 16;

[[gnu::always_inline]] inline void copyPiece(char* to, const char* from,
                                             std::size_t size) {
  if (size <= kPad) {
    std::memcpy(to, from, kPad);
  } else {
    std::memcpy(to, from, size);
  }
}

// Writes the text with its letters replaced in one sweep into `out`.
// `counts` are the letters of exp.
void substituteInto(std::string_view exp, const LetterCounts& counts,
                    const Values& values, std::string& out) {
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
  char* write = out.data();
  for (const char ch : exp) {
    const unsigned letter = static_cast<unsigned char>(ch) - unsigned{'a'};
    if (letter < 3) {
      copyPiece(write, letterPieces[letter].data(),
                letterPieces[letter].size());
      write += letterPieces[letter].size();
    } else {
      *write++ = ch;
    }
  }
  out.resize(length);
}

// b's value after the c pass.
std::string passValueOfB() {
  std::string value;
  substituteInto(b, countLetters(b), {"a", "b", c}, value);
  return value;
}

// a's value after the b and c passes, given b's (unused when a holds no b).
std::string passValueOfA(const std::string& valueOfB) {
  std::string value;
  substituteInto(a, countLetters(a), {"a", valueOfB, c}, value);
  return value;
}

}  // namespace

std::string replaceVar(std::string exp) {
  const LetterCounts counts =
      checkedCounts(exp, passLengths(countLetters(a), countLetters(b)));
  // Only the values the expression uses are built (a's needs b's when it
  // holds a b), so none is longer than the result.
  Values values;
  values.c = c;
  if (counts[1] > 0 || (counts[0] > 0 && a.find('b') != std::string::npos)) {
    values.b = passValueOfB();
  }
  if (counts[0] > 0) values.a = passValueOfA(values.b);
  std::string out;
  substituteInto(exp, counts, values, out);
  return out;
}

// Evaluation by pieces. Substitution and sign folding change the text only
// where a value meets its neighbours, so each letter's value is folded and
// cut into its operands and operators once per set of values, and an
// expression is then evaluated, and its folded text written, a piece at a
// time: a value's pieces, or one character of the expression. A run folds
// to the parity of its "-" signs, so folding each value beforehand, and
// every run as it forms, gives what folding the finished text does.
namespace {

// An operand's number, or an operator (symbol not '\0').
struct Piece {
  float value;
  char symbol;
};

// The usual values, a number with or without its sign, are taken whole.
enum class Shape : unsigned char { kPieces, kNumber, kSignedNumber };

// A letter's value, folded, with its pieces.
struct LetterValue {
  std::string padded;  // the folded text, then kPad bytes of padding
  std::size_t size = 0;
  bool leadingSign = false;
  std::vector<Piece> pieces;
  Shape shape = Shape::kPieces;
  char sign = '\0';     // of a signed number
  float number = 0.0f;  // of a number, signed or not
};

LetterValue letterValue(std::string text) {
  LetterValue value;
  text = parseSigns(std::move(text));
  value.size = text.size();
  value.leadingSign = !text.empty() && isSign(text[0]);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && roleOf(text[i]) == Role::kOperand) continue;
    if (i > start) {
      value.pieces.push_back(
          {numberOf(std::string_view(text).substr(start, i - start)), '\0'});
    }
    if (i < text.size()) value.pieces.push_back({0.0f, text[i]});
    start = i + 1;
  }
  value.padded = std::move(text);
  value.padded.append(kPad, '\0');
  const std::vector<Piece>& pieces = value.pieces;
  if (pieces.size() == 1 && pieces[0].symbol == '\0') {
    value.shape = Shape::kNumber;
    value.number = pieces[0].value;
  } else if (pieces.size() == 2 && isSign(pieces[0].symbol) &&
             pieces[1].symbol == '\0') {
    value.shape = Shape::kSignedNumber;
    value.sign = pieces[0].symbol;
    value.number = pieces[1].value;
  }
  return value;
}

// What one set of values a, b, c gives, built as far as expressions have
// needed it: a value is built only once an expression that uses it has been
// found to fit.
struct TripleValues {
  bool filled = false;
  std::string a, b, c;  // the texts these are for
  LetterCounts inA{};
  PassLengths lengths{};
  std::string passB;  // b's value unfolded, as a's needs it
  bool passBBuilt = false;
  std::array<bool, 3> built{};
  std::array<LetterValue, 3> letters;
};

// The evaluations of a population take the triples in turn for each
// individual: the sets of values are kept in a table, one per slot of their
// hash, so that each is cut into pieces about once per run.
TripleValues& tripleValues() {
  constexpr int kSlotBits = 10;
  static std::vector<std::unique_ptr<TripleValues>> slots(std::size_t{1}
                                                          << kSlotBits);
  const std::hash<std::string> hash;
  constexpr std::size_t kMix = 0x9e3779b97f4a7c15u;
  const std::size_t key =
      ((hash(a) * kMix + hash(b)) * kMix + hash(c)) * kMix >>
      (std::numeric_limits<std::size_t>::digits - kSlotBits);
  if (!slots[key]) slots[key] = std::make_unique<TripleValues>();
  TripleValues& slot = *slots[key];
  if (slot.filled && slot.a == a && slot.b == b && slot.c == c) return slot;
  slot = TripleValues{};
  slot.a = a;
  slot.b = b;
  slot.c = c;
  slot.inA = countLetters(a);
  slot.lengths = passLengths(slot.inA, countLetters(b));
  slot.filled = true;
  return slot;
}

// Values this large are not kept after the evaluation that needed them.
constexpr std::size_t kKeptValues = std::size_t{1} << 20;

void dropIfLarge(TripleValues& values) {
  std::size_t size =
      values.a.size() + values.b.size() + values.c.size() + values.passB.size();
  for (const LetterValue& letter : values.letters) {
    size += letter.size + letter.pieces.size() * sizeof(Piece);
  }
  if (size > kKeptValues) values = TripleValues{};
}

const LetterValue& letterOf(TripleValues& values, std::size_t letter) {
  if (!values.built[letter]) {
    if ((letter == 1 || (letter == 0 && values.inA[1] > 0)) &&
        !values.passBBuilt) {
      values.passB = passValueOfB();
      values.passBBuilt = true;
    }
    values.letters[letter] =
        letterValue(letter == 0   ? passValueOfA(values.passB)
                    : letter == 1 ? values.passB
                                  : c);
    values.built[letter] = true;
  }
  return values.letters[letter];
}

// The two levels of evaluate<true>, fed a piece at a time. A piece that is a
// sign right after a sign joins it, as the folding of the text does.
struct PieceSum {
  float sum = 0.0f;
  float term = 0.0f;
  float operand = 0.0f;
  char sign = '\0';  // before the term being read; none for the first term
  char op = '\0';    // before the operand being read; none for the first
  bool holdsOperand = false;  // an operand piece since the last operator
  bool afterSign = false;     // nothing since the last sign
  // Two operand pieces met, and their texts make one operand that only the
  // whole text tells: the evaluation must read the text instead.
  bool joined = false;

  void closeOperand() {
    term = op == '\0' ? operand : applyTermOperator(op, term, operand);
  }
  void closeTerm() {
    closeOperand();
    sum = applySign(sign, sum, term);
  }
  void takeOperand(float value) {
    joined = joined || holdsOperand;
    takeFirstOperand(value);
  }
  // An operand where none can precede it since the last operator.
  void takeFirstOperand(float value) {
    operand = value;
    holdsOperand = true;
    afterSign = false;
  }
  void takeOperator(char symbol) {
    closeOperand();
    op = symbol;
    operand = 0.0f;
    holdsOperand = false;
    afterSign = false;
  }
  void takeSign(char symbol) {
    if (afterSign) {
      sign = sign == symbol ? '+' : '-';
      return;
    }
    closeTerm();
    sign = symbol;
    op = '\0';
    operand = 0.0f;
    holdsOperand = false;
    afterSign = true;
  }
  void take(const Piece& piece) {
    if (piece.symbol == '\0') {
      takeOperand(piece.value);
    } else if (isSign(piece.symbol)) {
      takeSign(piece.symbol);
    } else {
      takeOperator(piece.symbol);
    }
  }
};

// What a character of an expression is to the sweep, and the number a
// character alone is worth as an operand.
enum class Kind : unsigned char { kOperand, kTermOperator, kSign, kLetter };

const auto kKinds = [] {
  std::array<Kind, 256> kinds{};
  for (std::size_t i = 0; i < 256; ++i) {
    const Role role = kRoles[i];
    kinds[i] = role == Role::kSign           ? Kind::kSign
               : role == Role::kTermOperator ? Kind::kTermOperator
                                             : Kind::kOperand;
  }
  for (const char ch : {'a', 'b', 'c'}) {
    kinds[static_cast<unsigned char>(ch)] = Kind::kLetter;
  }
  return kinds;
}();

const auto kCharValues = [] {
  std::array<float, 256> values{};
  for (std::size_t i = 0; i < 256; ++i) {
    const char ch = static_cast<char>(i);
    values[i] = numberOf(std::string_view(&ch, 1));
  }
  return values;
}();

struct Prepared {
  TripleValues* values;
  std::array<const LetterValue*, 3> letters;
  std::size_t bound;  // the substituted length, before folding
};

Prepared prepare(std::string_view exp) {
  TripleValues& values = tripleValues();
  const LetterCounts counts = checkedCounts(exp, values.lengths);
  static const LetterValue kUnused;
  Prepared prepared{&values,
                    {&kUnused, &kUnused, &kUnused},
                    exp.size() - counts[0] - counts[1] - counts[2]};
  for (std::size_t i = 0; i < 3; ++i) {
    if (counts[i] == 0) continue;
    prepared.letters[i] = &letterOf(values, i);
    prepared.bound += counts[i] * prepared.letters[i]->size;
  }
  return prepared;
}

// One sweep over the expression: its value, and with `out` (room for the
// bound and kPad more) the folded text, whose length goes to `length`.
struct SweepResult {
  float value;
  bool joined;  // the value is not to be trusted: the text tells it
};

template <bool withText>
SweepResult sweep(std::string_view exp, const Prepared& prepared, char* out,
                  std::size_t& length) {
  PieceSum sum;
  char* write = out;
  for (const char ch : exp) {
    const auto byte = static_cast<unsigned char>(ch);
    switch (kKinds[byte]) {
      case Kind::kLetter: {
        const LetterValue& value = *prepared.letters[byte - unsigned{'a'}];
        // A sign that follows a sign joins it: then the text's last
        // character is the sign of the run, which the joined sign replaces.
        if (value.shape == Shape::kSignedNumber) {
          const bool joins = sum.afterSign;
          sum.takeSign(value.sign);
          sum.takeFirstOperand(value.number);
          if constexpr (withText) {
            write -= joins;
            copyPiece(write, value.padded.data(), value.size);
            *write = sum.sign;
            write += value.size;
          }
          break;
        }
        if (value.shape == Shape::kNumber) {
          sum.takeOperand(value.number);
          if constexpr (withText) {
            copyPiece(write, value.padded.data(), value.size);
            write += value.size;
          }
          break;
        }
        if constexpr (withText) {
          const char* from = value.padded.data();
          std::size_t size = value.size;
          if (value.leadingSign && sum.afterSign) {
            write[-1] = write[-1] == *from ? '+' : '-';
            ++from;
            --size;
          }
          copyPiece(write, from, size);
          write += size;
        }
        for (const Piece& piece : value.pieces) sum.take(piece);
        break;
      }
      case Kind::kSign: {
        const bool joins = sum.afterSign;
        sum.takeSign(ch);
        if constexpr (withText) {
          write -= joins;
          *write++ = sum.sign;
        }
        break;
      }
      case Kind::kTermOperator:
        if constexpr (withText) *write++ = ch;
        sum.takeOperator(ch);
        break;
      case Kind::kOperand:
        if constexpr (withText) *write++ = ch;
        sum.takeOperand(kCharValues[byte]);
        break;
    }
  }
  length = static_cast<std::size_t>(write - out);
  sum.closeTerm();
  return {sum.sum, sum.joined};
}

// Room for the folded text, kept from one evaluation to the next.
char* textBuffer(std::size_t size) {
  static std::vector<char> buffer;
  constexpr std::size_t kKept = std::size_t{1} << 24;
  if (buffer.size() < size || buffer.size() > std::max(size, kKept)) {
    std::vector<char>().swap(buffer);
    buffer.resize(size);
  }
  return buffer.data();
}

// The folded text and its value.
float foldedAndValue(std::string_view exp, const Prepared& prepared,
                     std::string_view& text) {
  char* const out = textBuffer(prepared.bound + kPad);
  std::size_t length = 0;
  const SweepResult swept = sweep<true>(exp, prepared, out, length);
  text = {out, length};
  return swept.joined ? evaluate<true>(text) : swept.value;
}

}  // namespace

float parseString(std::string exp) {
  const Prepared prepared = prepare(exp);
  std::string_view text;
  const float result = foldedAndValue(exp, prepared, text);
  writeLine("Parsed: ", text);
  dropIfLarge(*prepared.values);
  return result;
}

float expressionValue(std::string_view exp) {
  const Prepared prepared = prepare(exp);
  std::size_t length = 0;
  const SweepResult swept = sweep<false>(exp, prepared, nullptr, length);
  float result = swept.value;
  if (swept.joined) {
    std::string_view text;
    result = foldedAndValue(exp, prepared, text);
  }
  dropIfLarge(*prepared.values);
  return result;
}
