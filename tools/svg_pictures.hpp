// The pictures of runs, in one self-contained SVG file.
#pragma once

#include <ostream>
#include <vector>

#include "transcript_summary.hpp"

namespace report {

// The histogram of the first population's finite final costs, one
// <rect class="bar"> per non-empty bin (none for a brief transcript), and
// for an evolution below it the best and median by generation, one
// <path class="series ..."> each: their gaps to the lowest possible cost
// where it is known, else the costs. `source` names the transcript.
void writeSvg(std::ostream& out, const Summary& summary,
              std::string_view source);

// One chart of several runs, in the order given: the best cost (or its gap)
// by generation, one <path class="series ..."> for each run with
// generations, named in a legend; beyond eight such runs their median, the
// band of their quartiles and the best and the worst run.
void writeRunsSvg(std::ostream& out, const std::vector<NamedSummary>& runs);

}  // namespace report
