// Lexicase selection: a parent chosen triple by triple, over a few of the
// test triples drawn afresh for each generation.
#pragma once

#include <cstdint>
#include <vector>

#include "fitness.hpp"

// The triples a generation's lexicase looks at, at most, and the most
// individuals one selection starts from; both chosen by measurement
// (README, "How well it finds").
inline constexpr std::size_t kLexicaseTriples = 10;
inline constexpr int kLexicasePool = 200;

// The triples generation `generation` looks at, of `total`: all of them
// when there are no more than `most`, otherwise `most` drawn from the
// generation's own stream (seed, generation, kGenerationLane) by a partial
// shuffle (place j, from 0, takes the one at j + draw % (total - j)), then
// listed rising.
std::vector<std::uint32_t> drawTriples(std::uint32_t seed,
                                       std::uint32_t generation,
                                       std::size_t total, std::size_t most);

// What lexicase selects from, made once per generation from the terms of
// the population's individuals (non-finite ones counted as +inf):
// individuals with the same terms are one candidate, the candidates
// numbered in the order of their first individual.
struct Lexicase {
  std::size_t count = 0;       // candidates
  std::size_t cases = 0;       // triples looked at
  std::vector<float> terms;    // triple by triple, `count` each
  std::vector<float> epsilon;  // per triple
  // Candidate k's individuals, rising: members[firstOf[k]] up to
  // members[firstOf[k + 1]].
  std::vector<std::uint32_t> firstOf;
  std::vector<std::uint32_t> members;
  // Per triple, the candidates a first look at it keeps when all of them
  // are in the running: near[nearFrom[t]] up to near[nearFrom[t + 1]].
  std::vector<std::uint32_t> nearFrom;
  std::vector<std::uint32_t> near;
};

// The candidates of a population of `count` individuals from their terms,
// with each triple's epsilon: the median absolute deviation of the
// individuals' finite terms from their median, both medians the middle
// value (the upper of the two middle ones for an even number of them); 0
// when no term is finite.
void prepareLexicase(const TripleTerms& terms, std::size_t count,
                     Lexicase& lexicase);

// One parent: of the candidates, all of them when there are no more than
// `pool`, otherwise `pool` drawn as draw() % their number (the same one may
// be drawn again), the triples taken in an order drawn one at a time
// (draw() % the triples left, the last one left taking the place of the
// one drawn) keep those whose term is finite and at most the best of
// theirs plus the triple's epsilon (in single precision); a triple on which
// no term of theirs is finite keeps them all. Once one is left or the
// triples run out: the one left, or one drawn of those left (draw() % their
// number, in their order); then its individual, or one drawn of its
// individuals likewise.
int lexicaseIndex(const Lexicase& lexicase, int pool);
