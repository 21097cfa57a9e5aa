// libFuzzer target for the string evaluator.
//
// The input is cut at its first three 0xFF bytes: the pieces before the cuts
// are the values of a, b and c in that order (those without a cut are empty),
// and what follows the last cut is the expression. The evaluator is held to
// the plain procedures of reference.hpp, on the expression and on each value
// as a text; a disagreement traps, so that the fuzzer keeps the input. Values
// whose pieces meet as one operand (such as "1" for a in "a2") take the
// general path, all others the one by pieces. The prepared form, which
// evaluates the quiet costs, must give the same value as well.
#include <cstdint>

#include "prepared.hpp"
#include "reference.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  for (std::string* value : {&a, &b, &c}) {
    const std::size_t cut = input.find('\xff');
    *value = input.substr(0, cut == std::string::npos ? 0 : cut);
    input.erase(0, cut == std::string::npos ? 0 : cut + 1);
  }
  // The plain procedures are slow: long results are left to the unit tests.
  const double n = double(input.size()) * (a.size() + 1.0) * (b.size() + 1.0) *
                   (c.size() + 1.0);
  if (n > 65536) return 0;
  if (!reference::pipelineFault(input).empty()) __builtin_trap();
  const std::vector<std::string> values = {a, b, c};
  const evaluation::PreparedTriples triples(values);
  evaluation::EvaluationScratch scratch;
  std::vector<float> results;
  evaluation::expressionValues(input, triples, scratch, results);
  if (!reference::same(results[0], expressionValue(input))) __builtin_trap();
  return 0;
}
