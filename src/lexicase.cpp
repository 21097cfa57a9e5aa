#include "lexicase.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

#include "random_stream.hpp"

std::vector<std::uint32_t> drawTriples(std::uint32_t seed,
                                       std::uint32_t generation,
                                       std::size_t total, std::size_t most) {
  std::vector<std::uint32_t> triples(total);
  std::iota(triples.begin(), triples.end(), 0U);
  if (total <= most) return triples;
  RandomStream stream(seed, generation, 0, kGenerationLane);
  for (std::size_t j = 0; j < most; ++j) {
    const std::size_t k =
        j + stream.next() % static_cast<std::uint32_t>(total - j);
    std::swap(triples[j], triples[k]);
  }
  triples.resize(most);
  std::sort(triples.begin(), triples.end());
  return triples;
}

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

// The middle value of `values` (the upper of the two middle ones), which it
// reorders.
float middle(std::vector<float>& values) {
  const auto at =
      values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), at, values.end());
  return *at;
}

// Keeps of the individuals `kept` those within triple t's epsilon of the
// best of them (all of them when that best is not finite), in their order.
void narrow(std::vector<std::uint32_t>& kept, const Lexicase& lexicase,
            std::size_t t) {
  const float* const column = lexicase.terms.data() + t * lexicase.count;
  const std::size_t size = kept.size();
  // Four running minimums, which need not wait on one another.
  float best[4] = {kInfinity, kInfinity, kInfinity, kInfinity};
  std::size_t j = 0;
  for (; j + 4 <= size; j += 4) {
    for (std::size_t lane = 0; lane < 4; ++lane) {
      best[lane] = std::min(best[lane], column[kept[j + lane]]);
    }
  }
  for (; j < size; ++j) best[0] = std::min(best[0], column[kept[j]]);
  const float least =
      std::min(std::min(best[0], best[1]), std::min(best[2], best[3]));
  if (std::isinf(least)) return;
  const float bar = least + lexicase.epsilon[t];
  std::size_t stay = 0;
  for (j = 0; j < size; ++j) {
    const std::uint32_t i = kept[j];
    kept[stay] = i;
    stay += static_cast<std::size_t>(column[i] <= bar && column[i] < kInfinity);
  }
  kept.resize(stay);
}

}  // namespace

void prepareLexicase(const TripleTerms& terms, std::size_t count,
                     Lexicase& lexicase) {
  const std::size_t cases = terms.triples.size();
  const auto term = [&](std::size_t i, std::size_t t) {
    const float value = terms.terms[i * cases + t];
    return std::isfinite(value) ? value : kInfinity;
  };
  // Equal rows of terms found by their hashes, then compared.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> hashed(count);
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (std::size_t t = 0; t < cases; ++t) {
      // +0 and -0 are the same term.
      const float value = term(i, t) + 0.0f;
      hash = (hash ^ std::bit_cast<std::uint32_t>(value)) * 0x100000001b3;
    }
    hashed[i] = {hash, static_cast<std::uint32_t>(i)};
  }
  std::sort(hashed.begin(), hashed.end());
  const auto same = [&](std::uint32_t x, std::uint32_t y) {
    for (std::size_t t = 0; t < cases; ++t) {
      if (std::isless(term(x, t), term(y, t)) ||
          std::isgreater(term(x, t), term(y, t))) {
        return false;
      }
    }
    return true;
  };
  // Each individual's first equal, by index.
  std::vector<std::uint32_t> firstEqual(count);
  for (std::size_t from = 0; from < count;) {
    std::size_t to = from;
    while (to < count && hashed[to].first == hashed[from].first) ++to;
    for (std::size_t j = from; j < to; ++j) {
      const std::uint32_t i = hashed[j].second;
      firstEqual[i] = i;
      for (std::size_t k = from; k < j; ++k) {
        if (same(hashed[k].second, i)) {
          firstEqual[i] = firstEqual[hashed[k].second];
          break;
        }
      }
    }
    from = to;
  }
  // Candidates numbered in the order of their first individual.
  std::vector<std::uint32_t> candidate(count);
  std::vector<std::uint32_t> sizes;
  for (std::size_t i = 0; i < count; ++i) {
    if (firstEqual[i] == i) {
      candidate[i] = static_cast<std::uint32_t>(sizes.size());
      sizes.push_back(0);
    } else {
      candidate[i] = candidate[firstEqual[i]];
    }
    ++sizes[candidate[i]];
  }
  const std::size_t candidates = sizes.size();
  lexicase.firstOf.assign(1, 0);
  for (const std::uint32_t size : sizes) {
    lexicase.firstOf.push_back(lexicase.firstOf.back() + size);
  }
  lexicase.members.resize(count);
  std::vector<std::uint32_t> placed(lexicase.firstOf.begin(),
                                    lexicase.firstOf.end() - 1);
  for (std::size_t i = 0; i < count; ++i) {
    lexicase.members[placed[candidate[i]]++] = static_cast<std::uint32_t>(i);
  }
  lexicase.count = candidates;
  lexicase.cases = cases;
  lexicase.terms.resize(candidates * cases);
  lexicase.epsilon.assign(cases, 0.0f);
  lexicase.nearFrom.assign(1, 0);
  lexicase.near.clear();
  std::vector<float> finite;
  std::vector<std::uint32_t> kept;
  for (std::size_t t = 0; t < cases; ++t) {
    finite.clear();
    for (std::size_t i = 0; i < count; ++i) {
      if (std::isfinite(term(i, t))) finite.push_back(term(i, t));
    }
    if (!finite.empty()) {
      const float median = middle(finite);
      for (float& value : finite) value = std::fabs(value - median);
      lexicase.epsilon[t] = middle(finite);
    }
    float* const column = lexicase.terms.data() + t * candidates;
    for (std::size_t k = 0; k < candidates; ++k) {
      column[k] = term(lexicase.members[lexicase.firstOf[k]], t);
    }
    kept.resize(candidates);
    std::iota(kept.begin(), kept.end(), 0U);
    narrow(kept, lexicase, t);
    lexicase.near.insert(lexicase.near.end(), kept.begin(), kept.end());
    lexicase.nearFrom.push_back(
        static_cast<std::uint32_t>(lexicase.near.size()));
  }
}

int lexicaseIndex(const Lexicase& lexicase, int pool) {
  // Kept from one selection to the next: no allocation once grown.
  thread_local std::vector<std::uint32_t> left;
  thread_local std::vector<std::uint32_t> kept;
  const auto count = static_cast<std::uint32_t>(lexicase.count);
  // Everyone, until the first look, when no pool is drawn.
  bool everyone = count <= static_cast<std::uint32_t>(pool);
  kept.resize(everyone ? 0 : static_cast<std::size_t>(pool));
  for (std::uint32_t& drawn : kept) drawn = draw() % count;
  left.resize(lexicase.cases);
  std::iota(left.begin(), left.end(), 0U);
  auto remaining = static_cast<std::uint32_t>(left.size());
  for (std::size_t size = everyone ? count : kept.size();
       size > 1 && remaining > 0; size = kept.size()) {
    const std::uint32_t pick = draw() % remaining;
    const std::uint32_t t = left[pick];
    left[pick] = left[--remaining];
    if (everyone) {
      // The first look at everyone was made once for all.
      kept.assign(lexicase.near.begin() + lexicase.nearFrom[t],
                  lexicase.near.begin() + lexicase.nearFrom[t + 1]);
      everyone = false;
    } else {
      narrow(kept, lexicase, t);
    }
  }
  const auto last = static_cast<std::uint32_t>(kept.size());
  const std::uint32_t chosen = everyone    ? (count == 1 ? 0 : draw() % count)
                               : last == 1 ? kept[0]
                                           : kept[draw() % last];
  const std::uint32_t first = lexicase.firstOf[chosen];
  const std::uint32_t size = lexicase.firstOf[chosen + 1] - first;
  return static_cast<int>(
      lexicase.members[first + (size == 1 ? 0 : draw() % size)]);
}
