// Letter values cut into pieces, their cache, and the piece-by-piece sweep.
#include "value_pieces.hpp"

#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

#include "text_procedures.hpp"
#include "transcript.hpp"

namespace evaluation {

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

const std::array<float, 256> kCharValues = [] {
  std::array<float, 256> values{};
  for (std::size_t i = 0; i < 256; ++i) {
    const char ch = static_cast<char>(i);
    values[i] = numberOf(std::string_view(&ch, 1));
  }
  return values;
}();

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

  LetterTexts texts() const { return {a, b, c}; }
};

namespace {

constexpr int kSlotBits = 10;

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
      values.passB = passValueOfB(values.texts());
      values.passBBuilt = true;
    }
    values.letters[letter] =
        letterValue(letter == 0   ? passValueOfA(values.texts(), values.passB)
                    : letter == 1 ? values.passB
                                  : values.c);
    values.built[letter] = true;
  }
  return values.letters[letter];
}

// What a character of an expression is to the sweep.
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

// The values an expression uses, found to fit.
struct LetterPlan {
  TripleValues* values;
  std::array<const LetterValue*, 3> letters;
  std::size_t bound;  // the substituted length, before folding
};

LetterPlan planFor(std::string_view exp, const LetterTexts& texts,
                   ValueCache& cache) {
  TripleValues& values = cache.valuesFor(texts);
  const LetterCounts counts = checkedCounts(exp, values.lengths);
  static const LetterValue kUnused;
  LetterPlan plan{&values,
                  {&kUnused, &kUnused, &kUnused},
                  exp.size() - counts[0] - counts[1] - counts[2]};
  for (std::size_t i = 0; i < 3; ++i) {
    if (counts[i] == 0) continue;
    plan.letters[i] = &letterOf(values, i);
    plan.bound += counts[i] * plan.letters[i]->size;
  }
  return plan;
}

// One sweep over the expression: its value, and with `out` (room for the
// bound and kPad more) the folded text, whose length goes to `length`.
struct SweepResult {
  float value;
  bool joined;  // the value is not to be trusted: the text tells it
};

template <bool withText>
SweepResult sweep(std::string_view exp, const LetterPlan& plan, char* out,
                  std::size_t& length) {
  PieceSum<FloatSteps> sum;
  char* write = out;
  for (const char ch : exp) {
    const auto byte = static_cast<unsigned char>(ch);
    switch (kKinds[byte]) {
      case Kind::kLetter: {
        const LetterValue& value = *plan.letters[byte - unsigned{'a'}];
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
        for (const Piece& piece : value.pieces) {
          if (piece.symbol == '\0') {
            sum.takeOperand(piece.value);
          } else {
            sum.takeSymbol(piece.symbol);
          }
        }
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
  return {sum.steps.sum, sum.joined};
}

// The folded text and its value.
float foldedAndValue(std::string_view exp, const LetterPlan& plan,
                     ValueCache& cache, std::string_view& text) {
  char* const out = cache.textBuffer(plan.bound + kPad);
  std::size_t length = 0;
  const SweepResult swept = sweep<true>(exp, plan, out, length);
  text = {out, length};
  return swept.joined ? foldedTextValue(text) : swept.value;
}

}  // namespace

ValueCache::ValueCache() : slots_(std::size_t{1} << kSlotBits) {}

ValueCache::~ValueCache() = default;

// The evaluations of a population take the triples in turn for each
// individual: the sets of values are kept one per slot of their hash, so
// that each is cut into pieces about once per run.
TripleValues& ValueCache::valuesFor(const LetterTexts& texts) {
  const std::hash<std::string_view> hash;
  constexpr std::size_t kMix = 0x9e3779b97f4a7c15u;
  const std::size_t key =
      ((hash(texts.a) * kMix + hash(texts.b)) * kMix + hash(texts.c)) * kMix >>
      (std::numeric_limits<std::size_t>::digits - kSlotBits);
  if (!slots_[key]) slots_[key] = std::make_unique<TripleValues>();
  TripleValues& slot = *slots_[key];
  if (slot.filled && slot.a == texts.a && slot.b == texts.b &&
      slot.c == texts.c) {
    return slot;
  }
  slot = TripleValues{};
  slot.a = texts.a;
  slot.b = texts.b;
  slot.c = texts.c;
  slot.inA = countLetters(slot.a);
  slot.lengths = passLengths(texts, slot.inA, countLetters(slot.b));
  slot.filled = true;
  return slot;
}

char* ValueCache::textBuffer(std::size_t size) {
  constexpr std::size_t kKept = std::size_t{1} << 24;
  if (buffer_.size() < size || buffer_.size() > std::max(size, kKept)) {
    std::vector<char>().swap(buffer_);
    buffer_.resize(size);
  }
  return buffer_.data();
}

float foldedValue(std::string_view exp, const LetterTexts& texts,
                  ValueCache& cache, std::string_view& text) {
  const LetterPlan plan = planFor(exp, texts, cache);
  const float result = foldedAndValue(exp, plan, cache, text);
  dropIfLarge(*plan.values);  // the text stays: it is in the cache's buffer
  return result;
}

float parsedValue(std::string_view exp, const LetterTexts& texts,
                  ValueCache& cache) {
  std::string_view text;
  const float result = foldedValue(exp, texts, cache, text);
  writeLine("Parsed: ", text);
  return result;
}

float piecesValue(std::string_view exp, const LetterTexts& texts,
                  ValueCache& cache) {
  const LetterPlan plan = planFor(exp, texts, cache);
  std::size_t length = 0;
  const SweepResult swept = sweep<false>(exp, plan, nullptr, length);
  float result = swept.value;
  if (swept.joined) {
    std::string_view text;
    result = foldedAndValue(exp, plan, cache, text);
  }
  dropIfLarge(*plan.values);
  return result;
}

}  // namespace evaluation
