// Evaluation by pieces: each letter's value folded and cut into its operands
// and operators once per set of values (kept in a cache), and an expression
// evaluated a piece at a time.
//
// Substitution and sign folding change the text only where a value meets
// its neighbours. A run of signs folds to the parity of its "-" signs, so
// folding each value beforehand, and every run as it forms, gives what
// folding the finished text does.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "numbers.hpp"
#include "substitution.hpp"

namespace evaluation {

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

// The value text (after the passes) folded and cut into pieces.
LetterValue letterValue(std::string text);

// The number each character alone is worth as an operand.
extern const std::array<float, 256> kCharValues;

// The arithmetic that a PieceSum drives: here on floats; the prepared form
// drives the same sums to write down its steps instead.
struct FloatSteps {
  using Operand = float;
  static constexpr float kEmpty = 0.0f;  // the operand that is missing
  float term = 0.0f;
  float sum = 0.0f;
  void startTerm(float v) { term = v; }
  void applyOperator(char op, float v) {
    term = applyTermOperator(op, term, v);
  }
  void closeTerm(char sign) { sum = applySign(sign, sum, term); }
};

// The two levels of the text's evaluation, fed a piece at a time. A piece
// that is a sign right after a sign joins it, as the folding of the text
// does.
template <typename Steps>
struct PieceSum {
  using Operand = typename Steps::Operand;
  Steps steps;
  Operand operand = Steps::kEmpty;
  char sign = '\0';  // before the term being read; none for the first term
  char op = '\0';    // before the operand being read; none for the first
  bool holdsOperand = false;  // an operand piece since the last operator
  bool afterSign = false;     // nothing since the last sign
  // Two operand pieces met, and their texts make one operand that only the
  // whole text tells: the evaluation must read the text instead.
  bool joined = false;

  // Inlined, so that the state stays in registers while an expression is
  // swept.
  [[gnu::always_inline]] void closeOperand() {
    if (op == '\0') {
      steps.startTerm(operand);
    } else {
      steps.applyOperator(op, operand);
    }
  }
  [[gnu::always_inline]] void closeTerm() {
    closeOperand();
    steps.closeTerm(sign);
  }
  void takeOperand(Operand value) {
    joined = joined || holdsOperand;
    takeFirstOperand(value);
  }
  // An operand where none can precede it since the last operator.
  void takeFirstOperand(Operand value) {
    operand = value;
    holdsOperand = true;
    afterSign = false;
  }
  void takeOperator(char symbol) {
    closeOperand();
    op = symbol;
    operand = Steps::kEmpty;
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
    operand = Steps::kEmpty;
    holdsOperand = false;
    afterSign = true;
  }
  // A piece that is not an operand.
  void takeSymbol(char symbol) {
    if (isSign(symbol)) {
      takeSign(symbol);
    } else {
      takeOperator(symbol);
    }
  }
};

struct TripleValues;

// The sets of values a, b, c that evaluations have met, each cut into
// pieces about once, and room for a folded text. One cache serves one
// thread.
class ValueCache {
 public:
  ValueCache();
  ~ValueCache();
  ValueCache(const ValueCache&) = delete;
  ValueCache& operator=(const ValueCache&) = delete;

  // The entry for these texts, made anew when its slot holds others.
  TripleValues& valuesFor(const LetterTexts& texts);
  // Room for `size` characters, kept from one evaluation to the next.
  char* textBuffer(std::size_t size);

 private:
  std::vector<std::unique_ptr<TripleValues>> slots_;
  std::vector<char> buffer_;
};

// The value of exp for the texts, and in `text` the folded text that the
// "Parsed: " line shows, kept in the cache until its next evaluation: what
// parseString gives, writing nothing.
float foldedValue(std::string_view exp, const LetterTexts& texts,
                  ValueCache& cache, std::string_view& text);

// The value of exp for the texts, and its "Parsed: " line written: what
// parseString does.
float parsedValue(std::string_view exp, const LetterTexts& texts,
                  ValueCache& cache);

// The same value, writing nothing.
float piecesValue(std::string_view exp, const LetterTexts& texts,
                  ValueCache& cache);

}  // namespace evaluation
