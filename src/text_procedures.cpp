// The text procedures on whole texts, each in one pass.
#include "text_procedures.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>
#include <utility>

#include "transcript.hpp"

namespace evaluation {
namespace {

static_assert(sizeof(int) == 4, "positions are 32-bit signed integers");

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

float foldedTextValue(std::string_view text) { return evaluate<true>(text); }

}  // namespace evaluation

std::vector<int> findChar(std::string str, char toFind) {
  return operatorPositions(str, std::string_view(&toFind, 1));
}

std::vector<int> sortAsc(std::vector<int> vector) {
  std::sort(vector.begin(), vector.end());
  return vector;
}

float number(std::string exp) { return evaluation::numberOf(exp); }

std::vector<int> operatorPositions(std::string_view text,
                                   std::string_view operators) {
  if (text.size() > std::size_t{INT_MAX}) {
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
float muldiv(std::string exp) { return evaluation::evaluate<false>(exp); }

std::string parseSigns(std::string exp) {
  // Folding only ever shortens the text, so it is done in place.
  char* write = exp.data();
  const char* read = write;
  const char* const end = read + exp.size();
  while (read != end) {
    const char ch = *read++;
    if (!evaluation::isSign(ch)) {
      *write++ = ch;
      continue;
    }
    // A run folds pairwise: two unlike signs give "-", two like ones "+".
    bool negative = ch == '-';
    for (; read != end && evaluation::isSign(*read); ++read) {
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
  return evaluation::foldedTextValue(expressionToParse);
}
