// Putting the letters' values in: the three passes (a, then b, then c), the
// guard on the length of their result, and the sweep that writes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace evaluation {

// The value texts of a, b and c as one evaluation sees them.
struct LetterTexts {
  std::string_view a, b, c;
};

// How many a's, b's and c's a text holds.
using LetterCounts = std::array<std::size_t, 3>;

LetterCounts countLetters(std::string_view text);

// The lengths of the letters' values once the passes have put in the
// letters they hold, worked out from the counts alone: values that hold the
// letters multiply out and can make a text grow far beyond memory.
using PassLengths = std::array<long double, 3>;

// `inA` and `inB` are the letters of a's and b's texts.
PassLengths passLengths(const LetterTexts& texts, const LetterCounts& inA,
                        const LetterCounts& inB);

// The letters of exp, once the length of its result is known to fit 32-bit
// positions; throws std::length_error when it does not.
LetterCounts checkedCounts(std::string_view exp, const PassLengths& lengths);

// Pieces of up to kPad characters are copied kPad bytes at a time, a fixed
// size the compiler turns into one move: every piece is followed by that
// much readable padding, and every text written by that much slack.
inline constexpr std::size_t kPad = 16;

[[gnu::always_inline]] inline void copyPiece(char* to, const char* from,
                                             std::size_t size) {
  if (size <= kPad) {
    std::memcpy(to, from, kPad);
  } else {
    std::memcpy(to, from, size);
  }
}

// b's value after the c pass.
std::string passValueOfB(const LetterTexts& texts);

// a's value after the b and c passes, given b's (unused when a holds no b).
std::string passValueOfA(const LetterTexts& texts, std::string_view valueOfB);

// The text with every letter replaced, pass by pass, as replaceVar does.
std::string substituteValues(std::string_view exp, const LetterTexts& texts);

}  // namespace evaluation
