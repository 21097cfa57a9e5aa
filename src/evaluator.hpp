// The string evaluator's entry: expression texts over numbers, the letters
// a, b, c and the operators + - * / s, evaluated in single precision for the
// current values of the letters.
//
// Its rooms: numbers (conversion and the shared arithmetic), text_procedures
// (the procedures on whole texts), substitution (the three passes and their
// guard), value_pieces (evaluation a piece at a time) and prepared (one
// expression evaluated for many triples at once).
#pragma once

#include <string>
#include <string_view>

#include "text_procedures.hpp"

// The current value texts of the letters, inserted verbatim. They serve the
// evaluations of one thread; work spread over threads passes its values
// explicitly.
extern std::string a;
extern std::string b;
extern std::string c;

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
