// The evaluation pipeline on the current values of a, b and c.
#include "evaluator.hpp"

#include "substitution.hpp"
#include "value_pieces.hpp"

std::string a;
std::string b;
std::string c;

namespace {

evaluation::LetterTexts currentTexts() { return {a, b, c}; }

// The pieces of the sets of values that the current values have held.
evaluation::ValueCache& currentCache() {
  static evaluation::ValueCache cache;
  return cache;
}

}  // namespace

std::string replaceVar(std::string exp) {
  return evaluation::substituteValues(exp, currentTexts());
}

float parseString(std::string exp) {
  return evaluation::parsedValue(exp, currentTexts(), currentCache());
}

float expressionValue(std::string_view exp) {
  return evaluation::piecesValue(exp, currentTexts(), currentCache());
}
