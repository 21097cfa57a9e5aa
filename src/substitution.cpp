// The three passes of substitution, done in one sweep per text.
#include "substitution.hpp"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace evaluation {
namespace {

// Longest text whose positions fit a 32-bit signed integer.
constexpr std::size_t kMaxTextLength = INT_MAX;

// Writes the text with its letters replaced in one sweep into `out`.
// `counts` are the letters of exp; `values` what each letter becomes.
void substituteInto(std::string_view exp, const LetterCounts& counts,
                    const LetterTexts& values, std::string& out) {
  std::string padded;
  padded.reserve(values.a.size() + values.b.size() + values.c.size() +
                 3 * kPad);
  std::array<std::string_view, 3> letterPieces;
  const std::string_view letterValues[] = {values.a, values.b, values.c};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t at = padded.size();
    padded += letterValues[i];
    padded.append(kPad, '\0');
    letterPieces[i] = {padded.data() + at, letterValues[i].size()};
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

}  // namespace

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

PassLengths passLengths(const LetterTexts& texts, const LetterCounts& inA,
                        const LetterCounts& inB) {
  const auto lengthC = static_cast<long double>(texts.c.size());
  const long double lengthB = static_cast<long double>(texts.b.size()) +
                              static_cast<long double>(inB[2]) * (lengthC - 1);
  const long double lengthA = static_cast<long double>(texts.a.size()) +
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

std::string passValueOfB(const LetterTexts& texts) {
  std::string value;
  substituteInto(texts.b, countLetters(texts.b), {"a", "b", texts.c}, value);
  return value;
}

std::string passValueOfA(const LetterTexts& texts, std::string_view valueOfB) {
  std::string value;
  substituteInto(texts.a, countLetters(texts.a), {"a", valueOfB, texts.c},
                 value);
  return value;
}

std::string substituteValues(std::string_view exp, const LetterTexts& texts) {
  const LetterCounts counts = checkedCounts(
      exp, passLengths(texts, countLetters(texts.a), countLetters(texts.b)));
  // Only the values the expression uses are built (a's needs b's when it
  // holds a b), so none is longer than the result.
  std::string valueOfB;
  std::string valueOfA;
  if (counts[1] > 0 ||
      (counts[0] > 0 && texts.a.find('b') != std::string_view::npos)) {
    valueOfB = passValueOfB(texts);
  }
  if (counts[0] > 0) valueOfA = passValueOfA(texts, valueOfB);
  std::string out;
  substituteInto(exp, counts, {valueOfA, valueOfB, texts.c}, out);
  return out;
}

}  // namespace evaluation
