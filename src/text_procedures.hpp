// The text procedures on whole texts: operator positions, terms, sign
// folding and sums, each as its documented name promises.
//
// Two levels, no parentheses: operands joined by s, * and / are evaluated
// strictly left to right ("x s y" is x plus the square root of y), and terms
// joined by + and - are summed left to right.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "numbers.hpp"

// Positions of every toFind in str, ascending.
std::vector<int> findChar(std::string str, char toFind);

// The values sorted ascending (signed order; equal values kept).
std::vector<int> sortAsc(std::vector<int> vector);

// atof narrowed to float: the longest numeric prefix counts, anything else
// (the empty text included) is 0.
float number(std::string exp);

// Positions of every character of text that is one of `operators`,
// ascending. Built in one pass. Throws std::length_error for a text whose
// positions do not fit 32 bits.
std::vector<int> operatorPositions(std::string_view text,
                                   std::string_view operators);

// The value of one term: operands joined by s, * and /, left to right.
float muldiv(std::string exp);

// Folds every run of two or more adjacent + and - into one sign at the run's
// place: "-" when the run holds an odd number of "-", else "+".
std::string parseSigns(std::string exp);

// Folds the signs, writes "Parsed: " and the folded text, and returns the
// left-to-right sum of its terms.
float sumres(std::string expressionToParse);

namespace evaluation {

// The sum of the terms of a text whose signs are folded already, in one
// pass over its characters: what sumres returns, without its line.
float foldedTextValue(std::string_view text);

}  // namespace evaluation
