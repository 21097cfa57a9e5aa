// The text report on a transcript's summary.
#pragma once

#include <ostream>

#include "transcript_summary.hpp"

namespace report {

// The run, the generations of an evolution, the counts of final costs, the
// ranking and the median and range; no line is wider than 100 columns.
// `top` is the length of ranking asked for.
void writeReport(std::ostream& out, const Summary& summary, std::size_t top);

}  // namespace report
