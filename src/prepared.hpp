// The prepared form: an expression written down once as the steps of its
// evaluation for one shape of values, and those steps run over every test
// triple of that shape together.
//
// The shape of a triple is how its values cut into pieces (their signs,
// operators and operands, not the operands' numbers): in the common case,
// which of a, b and c are negative. Triples whose values hold letters or
// are long, and expressions in which two pieces meet in one operand, keep
// the evaluation by pieces. Every result is bit for bit what parseString
// gives for the triple.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "value_pieces.hpp"

namespace evaluation {

// Test triples read once for every expression evaluated on them. Read only
// once built, so threads may share it.
class PreparedTriples {
 public:
  // Values in file order, three to a triple; one or two left over are not a
  // triple. The values must outlive this.
  explicit PreparedTriples(const std::vector<std::string>& values);

  std::size_t size() const { return values_->size() / 3; }

  // Triples of one shape, in file order, with their operands by column.
  struct Group {
    // Each letter's pieces: '\0' for an operand, else the symbol.
    std::array<std::string, 3> symbols;
    std::array<std::size_t, 3> firstColumn{};  // a letter's first operand
    std::size_t mostPieces = 1;  // of one letter's value, and at least 1
    // Every value a number, with its sign ('\0' for none) or without.
    bool simple = true;
    std::array<char, 3> signs{};
    std::vector<std::uint32_t> triples;
    std::vector<float> columns;  // column j holds triples.size() numbers
  };

  const std::vector<Group>& groups() const { return groups_; }
  // The triples that keep the evaluation by pieces, in file order.
  const std::vector<std::uint32_t>& others() const { return others_; }
  LetterTexts texts(std::size_t triple) const {
    const std::string* const first = values_->data() + 3 * triple;
    return {first[0], first[1], first[2]};
  }

 private:
  const std::vector<std::string>* values_;
  std::vector<Group> groups_;
  std::vector<std::uint32_t> others_;
};

// What one thread needs to evaluate: its own cache and working arrays.
struct EvaluationScratch {
  ValueCache cache;
  std::vector<float> work;
  std::vector<const float*> sources;
  // One loop over the triples: the kernel, and where its operands are.
  struct Step {
    std::uint8_t kernel;
    std::uint32_t left;
    std::uint32_t right;
  };
  std::vector<Step> steps;
  std::array<std::uint64_t, 5> used{};  // the constant operands, a bit each
  std::vector<float> results;           // for the caller: one value per triple
};

// The value of exp for every triple, in file order, into `results`. Throws
// std::length_error as parseString would, for the first triple whose result
// would not fit 32-bit positions.
void expressionValues(std::string_view exp, const PreparedTriples& triples,
                      EvaluationScratch& scratch, std::vector<float>& results);

}  // namespace evaluation
