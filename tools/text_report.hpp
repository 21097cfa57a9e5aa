// The text report on a transcript's summary, and the input's text made
// fit to show.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "transcript_summary.hpp"

namespace report {

// The run and its record, the generations of an evolution, the lowest
// possible cost, the counts of final costs, the ranking and the median and
// range; no line is wider than 100 columns but the run's command.
// `top` is the length of ranking asked for.
void writeReport(std::ostream& out, const Summary& summary, std::size_t top);

// A table of several runs (transcript, seed, population, generations, first
// and last best cost, its gap to the lowest possible cost, how the run
// ended), then the best, the quartiles and the median of the last best costs
// of the complete runs, and how many came near the lowest possible cost.
void writeRunsTable(std::ostream& out, const std::vector<NamedSummary>& runs);

// Text from the input as valid UTF-8 without control characters, safe in a
// terminal: every other byte becomes '?'.
std::string printable(std::string_view text);

// A transcript's name made printable and cut to `room` characters: "..."
// and its end, where the names of a set of runs differ.
std::string shortName(std::string_view name, std::size_t room);

}  // namespace report
