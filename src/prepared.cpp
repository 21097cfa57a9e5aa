// The prepared form: steps written once per expression and shape, run as
// plain loops over the triples of that shape.
#include "prepared.hpp"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <unordered_map>
#include <utility>

namespace evaluation {
namespace {

// Longer values, and values that hold letters, keep the evaluation by
// pieces: their columns would take more room than they save.
constexpr std::size_t kLongestGrouped = 256;

// Longer expressions keep it too: their steps, 12 bytes for each piece,
// would take far more memory than their text.
constexpr std::size_t kMostPieces = std::size_t{1} << 20;

// So no prepared text comes near the limit of 32-bit positions, and none
// needs the length guard.
static_assert(kMostPieces * kLongestGrouped <= INT_MAX);

// Where a step takes its operands: the number of a character (0 to 255),
// the missing operand, the term being read, or a column of the group's
// operands.
constexpr std::uint32_t kEmptySource = 256;
constexpr std::uint32_t kTermSource = 257;
constexpr std::uint32_t kFirstColumn = 258;
constexpr std::uint32_t kNoSource = UINT32_MAX;

// What a step does with its operand, and then, when the step closes a term,
// how that term joins the sum.
enum OperandOp : std::uint8_t { kStart, kSquareRoot, kMultiply, kDivide };
enum CloseOp : std::uint8_t { kOpen, kFirst, kAdd, kSubtract };

using Step = EvaluationScratch::Step;

constexpr std::uint8_t kernelOf(OperandOp op, CloseOp close, bool fromTerm) {
  return static_cast<std::uint8_t>(op * 8 + close * 2 + (fromTerm ? 1 : 0));
}

// Drives a PieceSum to write down the steps it would compute. A term's
// first operand is taken by the step of its second, or, when it has no
// second, by the step that closes it; a step that closes a term adds it to
// the sum, and the next step starts a new term.
struct ProgramSteps {
  using Operand = std::uint32_t;
  static constexpr Operand kEmpty = kEmptySource;
  Step* out = nullptr;            // where the next step goes
  std::uint64_t* used = nullptr;  // the constants used, a bit each
  Operand start = kNoSource;      // a term's first operand, not yet taken

  [[gnu::always_inline]] void use(Operand source) {
    if (source < kTermSource)
      used[source / 64] |= std::uint64_t{1} << (source % 64);
  }
  [[gnu::always_inline]] void startTerm(Operand v) {
    use(v);
    start = v;
  }
  [[gnu::always_inline]] void applyOperator(char op, Operand v) {
    use(v);
    const OperandOp operation = op == 's'   ? kSquareRoot
                                : op == '/' ? kDivide
                                            : kMultiply;
    const bool fromTerm = start == kNoSource;
    *out++ = {kernelOf(operation, kOpen, fromTerm),
              fromTerm ? kTermSource : start, v};
    start = kNoSource;
  }
  [[gnu::always_inline]] void closeTerm(char sign) {
    const CloseOp close = sign == '\0'  ? kFirst
                          : sign == '+' ? kAdd
                                        : kSubtract;
    if (start != kNoSource) {
      *out++ = {kernelOf(kStart, close, false), kTermSource, start};
      start = kNoSource;
    } else {
      out[-1].kernel = static_cast<std::uint8_t>(out[-1].kernel + close * 2);
    }
  }
};

// The steps of exp for the group's shape, as the sweep by pieces takes
// them; false when two pieces meet in one operand.
bool writeSteps(std::string_view exp, const PreparedTriples::Group& group,
                EvaluationScratch& scratch) {
  // A step for each operand at most, and every piece may be one.
  scratch.steps.resize(exp.size() * group.mostPieces + 1);
  scratch.used.fill(0);
  PieceSum<ProgramSteps> sum;
  sum.steps.out = scratch.steps.data();
  sum.steps.used = scratch.used.data();
  for (const char ch : exp) {
    const unsigned letter = static_cast<unsigned char>(ch) - unsigned{'a'};
    if (letter < 3) {
      auto column =
          static_cast<std::uint32_t>(kFirstColumn + group.firstColumn[letter]);
      for (const char symbol : group.symbols[letter]) {
        if (symbol == '\0') {
          sum.takeOperand(column++);
        } else {
          sum.takeSymbol(symbol);
        }
      }
      continue;
    }
    switch (roleOf(ch)) {
      case Role::kSign:
        sum.takeSign(ch);
        break;
      case Role::kTermOperator:
        sum.takeOperator(ch);
        break;
      case Role::kOperand:
        sum.takeOperand(static_cast<unsigned char>(ch));
        break;
    }
  }
  sum.closeTerm();
  scratch.steps.resize(
      static_cast<std::size_t>(sum.steps.out - scratch.steps.data()));
  return !sum.joined;
}

// The same steps, in one quick pass, for the common case: a tree's
// expression (operands of one character, each followed by an operator but
// the last) on values that are numbers with or without a sign. False for
// any other text, which takes writeSteps.
//
// A signed value after s, * or / ends the term, with an empty operand, and
// begins a new one with its sign; after + or - its sign joins the one
// before.
bool writeTreeSteps(std::string_view exp, const PreparedTriples::Group& group,
                    EvaluationScratch& scratch) {
  if (exp.size() % 2 == 0) return false;
  scratch.steps.resize(exp.size() + 2);  // two steps a pair at most
  scratch.used.fill(0);
  ProgramSteps emit;
  emit.out = scratch.steps.data();
  emit.used = scratch.used.data();
  // Each operand's source, and the sign its value brings ('\0' for none).
  const auto operand = [&group](char ch, std::uint32_t& source, char& sign) {
    const unsigned letter = static_cast<unsigned char>(ch) - unsigned{'a'};
    if (letter < 3) {
      source =
          static_cast<std::uint32_t>(kFirstColumn + group.firstColumn[letter]);
      sign = group.signs[letter];
    } else {
      source = static_cast<unsigned char>(ch);
      sign = '\0';
    }
    return roleOf(ch) == Role::kOperand;
  };
  std::uint32_t source;
  char valueSign;
  if (!operand(exp[0], source, valueSign)) return false;
  char sign = '\0';
  if (valueSign != '\0') {
    emit.startTerm(kEmptySource);
    emit.closeTerm(sign);
    sign = valueSign;
  }
  emit.startTerm(source);
  for (std::size_t i = 1; i < exp.size(); i += 2) {
    const char op = exp[i];
    if (!operand(exp[i + 1], source, valueSign)) return false;
    const Role role = roleOf(op);
    if (role == Role::kTermOperator) {
      if (valueSign == '\0') {
        emit.applyOperator(op, source);
        continue;
      }
      emit.applyOperator(op, kEmptySource);
      emit.closeTerm(sign);
      sign = valueSign;
    } else if (role == Role::kSign) {
      emit.closeTerm(sign);
      sign = valueSign == '\0' ? op : op == valueSign ? '+' : '-';
    } else {
      return false;
    }
    emit.startTerm(source);
  }
  emit.closeTerm(sign);
  scratch.steps.resize(
      static_cast<std::size_t>(emit.out - scratch.steps.data()));
  return true;
}

// addInOrder and multiplyInOrder in a form that the compiler can turn into
// vector instructions. The operation takes a NaN operand's own NaN, so when
// x is NaN, x + 0 and x * 0 are x; otherwise nothing changes.
inline float addLane(float x, float y) {
  return x + (std::isnan(x) ? 0.0f : y);
}

inline float multiplyLane(float x, float y) {
  return x * (std::isnan(x) ? 0.0f : y);
}

// One step for all n triples: a plain loop over arrays, which the compiler
// turns into vector instructions. The square root's argument is an operand,
// which never carries a sign, so it sets no errno and this file is built
// without errno.
template <OperandOp op, CloseOp close, bool fromTerm>
void runStep(const float* __restrict left, const float* __restrict v,
             std::size_t n, float* __restrict term, float* __restrict sum) {
  for (std::size_t i = 0; i < n; ++i) {
    float t = v[i];
    if constexpr (op != kStart) {
      const float x = fromTerm ? term[i] : left[i];
      if constexpr (op == kSquareRoot) t = addLane(x, std::sqrt(t));
      if constexpr (op == kMultiply) t = multiplyLane(t, x);
      if constexpr (op == kDivide) t = x / t;
    }
    if constexpr (close == kOpen) term[i] = t;
    if constexpr (close == kFirst) sum[i] = t;
    if constexpr (close == kAdd) sum[i] = addLane(t, sum[i]);
    if constexpr (close == kSubtract) sum[i] = sum[i] - t;
  }
}

using Kernel = void (*)(const float*, const float*, std::size_t, float*,
                        float*);

// Every step's loop, by kernelOf.
template <std::size_t... codes>
constexpr std::array<Kernel, sizeof...(codes)> kernels(
    std::index_sequence<codes...>) {
  return {runStep<static_cast<OperandOp>(codes / 8),
                  static_cast<CloseOp>(codes / 2 % 4), codes % 2 == 1>...};
}

constexpr auto kKernels = kernels(std::make_index_sequence<32>());

// Runs the steps over the group's triples and puts their results in place.
void runGroup(const PreparedTriples::Group& group, EvaluationScratch& scratch,
              std::vector<float>& results) {
  const std::size_t n = group.triples.size();
  const std::size_t columns = group.columns.size() / n;
  // Each constant the steps use becomes a column of its own.
  std::size_t constants = 0;
  for (const std::uint64_t word : scratch.used) {
    constants += static_cast<std::size_t>(std::popcount(word));
  }
  scratch.work.resize((2 + constants) * n);
  scratch.sources.resize(kFirstColumn + columns);
  float* const term = scratch.work.data();
  float* const sum = term + n;
  float* at = sum + n;
  for (std::uint32_t word = 0; word < scratch.used.size(); ++word) {
    for (std::uint64_t bits = scratch.used[word]; bits != 0; bits &= bits - 1) {
      const auto source =
          static_cast<std::uint32_t>(word * 64 + std::countr_zero(bits));
      const float value = source == kEmptySource ? 0.0f : kCharValues[source];
      for (std::size_t i = 0; i < n; ++i) at[i] = value;
      scratch.sources[source] = at;
      at += n;
    }
  }
  scratch.sources[kTermSource] = term;
  for (std::size_t j = 0; j < columns; ++j) {
    scratch.sources[kFirstColumn + j] = group.columns.data() + j * n;
  }
  const float* const* const sources = scratch.sources.data();
  for (const Step& step : scratch.steps) {
    kKernels[step.kernel](sources[step.left], sources[step.right], n, term,
                          sum);
  }
  for (std::size_t i = 0; i < n; ++i) results[group.triples[i]] = sum[i];
}

}  // namespace

PreparedTriples::PreparedTriples(const std::vector<std::string>& values)
    : values_(&values) {
  std::unordered_map<std::string, std::size_t> shapes;
  std::vector<std::vector<float>> rows;  // each group's operands, by triple
  for (std::size_t k = 0; k + 2 < values.size(); k += 3) {
    const auto triple = static_cast<std::uint32_t>(k / 3);
    bool grouped = true;
    for (std::size_t letter = 0; letter < 3; ++letter) {
      const std::string& text = values[k + letter];
      grouped = grouped && text.size() <= kLongestGrouped &&
                text.find_first_of("abc") == std::string::npos;
    }
    if (!grouped) {
      others_.push_back(triple);
      continue;
    }
    std::array<LetterValue, 3> letters;
    std::string key;
    for (std::size_t letter = 0; letter < 3; ++letter) {
      letters[letter] = letterValue(values[k + letter]);
      for (const Piece& piece : letters[letter].pieces) key += piece.symbol;
      key += 'x';  // no piece has this symbol
    }
    const auto [found, added] = shapes.try_emplace(key, groups_.size());
    if (added) {
      Group& group = groups_.emplace_back();
      std::size_t column = 0;
      for (std::size_t letter = 0; letter < 3; ++letter) {
        group.firstColumn[letter] = column;
        for (const Piece& piece : letters[letter].pieces) {
          group.symbols[letter] += piece.symbol;
          column += piece.symbol == '\0';
        }
        group.mostPieces =
            std::max(group.mostPieces, group.symbols[letter].size());
        const Shape shape = letters[letter].shape;
        group.simple = group.simple && shape != Shape::kPieces;
        group.signs[letter] = letters[letter].sign;
      }
      rows.emplace_back();
    }
    groups_[found->second].triples.push_back(triple);
    for (std::size_t letter = 0; letter < 3; ++letter) {
      for (const Piece& piece : letters[letter].pieces) {
        if (piece.symbol == '\0') rows[found->second].push_back(piece.value);
      }
    }
  }
  // Rows by triple become columns by operand.
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    Group& group = groups_[g];
    const std::size_t n = group.triples.size();
    const std::size_t columns = rows[g].size() / n;
    group.columns.resize(rows[g].size());
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j < columns; ++j) {
        group.columns[j * n + i] = rows[g][i * columns + j];
      }
    }
  }
}

void expressionValues(std::string_view exp, const PreparedTriples& triples,
                      EvaluationScratch& scratch, std::vector<float>& results) {
  results.resize(triples.size());
  const auto byPieces = [&](std::uint32_t triple) {
    results[triple] = piecesValue(exp, triples.texts(triple), scratch.cache);
  };
  if (exp.size() > kMostPieces) {
    for (std::uint32_t t = 0; t < triples.size(); ++t) byPieces(t);
    return;
  }
  for (const PreparedTriples::Group& group : triples.groups()) {
    const bool prepared =
        (group.simple && writeTreeSteps(exp, group, scratch)) ||
        (exp.size() * group.mostPieces <= kMostPieces &&
         writeSteps(exp, group, scratch));
    if (prepared) {
      runGroup(group, scratch, results);
    } else {
      for (const std::uint32_t triple : group.triples) byPieces(triple);
    }
  }
  for (const std::uint32_t triple : triples.others()) byPieces(triple);
}

}  // namespace evaluation
