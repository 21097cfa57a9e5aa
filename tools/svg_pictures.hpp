// The pictures of runs, in one self-contained SVG file.
#pragma once

#include <ostream>
#include <vector>

#include "transcript_summary.hpp"

namespace report {

// The histogram of the first population's finite final costs, one
// <rect class="bar"> per non-empty bin, and for an evolution below it the
// best and median cost by generation, one <path class="series"> each.
// `source` names the transcript in the subtitles.
void writeSvg(std::ostream& out, const Summary& summary,
              std::string_view source);

// One chart of several runs: the best cost by generation, one
// <path class="series"> for each run with generations, named in a legend.
void writeRunsSvg(std::ostream& out, const std::vector<NamedSummary>& runs);

}  // namespace report
