// The text report on a transcript's summary.
#pragma once

#include <ostream>
#include <vector>

#include "transcript_summary.hpp"

namespace report {

// The run, the generations of an evolution, the counts of final costs, the
// ranking and the median and range; no line is wider than 100 columns.
// `top` is the length of ranking asked for.
void writeReport(std::ostream& out, const Summary& summary, std::size_t top);

// A table of several runs (transcript, population, generations, first and
// last best cost), then the best and the median of their last best costs.
void writeRunsTable(std::ostream& out, const std::vector<NamedSummary>& runs);

}  // namespace report
