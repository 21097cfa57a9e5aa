// The string evaluator: expression texts over numbers, the letters a, b, c
// and the operators + - * / s, evaluated in single precision.
//
// Two levels, no parentheses: terms joined by s, * and / are evaluated
// strictly left to right ("x s y" is x plus the square root of y), and terms
// joined by + and - are summed left to right.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The current value texts of the letters, inserted verbatim.
extern std::string a;
extern std::string b;
extern std::string c;

// Positions of every toFind in str, ascending.
std::vector<int> findChar(std::string str, char toFind);

// The values sorted ascending (signed order; equal values kept).
std::vector<int> sortAsc(std::vector<int> vector);

// Exactly what atof gives for the text, without its cost for plain
// decimals such as "-31.25".
double decimalValue(std::string_view text);

// atof narrowed to float: the longest numeric prefix counts, anything else
// (the empty text included) is 0.
float number(std::string exp);

// Positions of every character of text that is one of `operators`,
// ascending. Built in one pass.
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

// Replaces the letters by the texts of a, b, c, in three passes in that
// order. A later pass also meets letters that an earlier pass inserted; a
// value is never searched again within its own pass. Throws
// std::length_error when the result would not fit 32-bit positions.
std::string replaceVar(std::string exp);

// replaceVar, then sumres: the value of an expression for the current a, b, c.
float parseString(std::string exp);

// The value parseString gives for exp, without the "Parsed: " line: for
// evaluations that show only their result.
float expressionValue(std::string_view exp);
