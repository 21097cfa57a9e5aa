// The pictures of a run, in one self-contained SVG file.
#pragma once

#include <ostream>

#include "transcript_summary.hpp"

namespace report {

// The histogram of the first population's finite final costs, one
// <rect class="bar"> per non-empty bin, and for an evolution below it the
// best and median cost by generation, one <path class="series"> each.
// `source` names the transcript in the subtitles.
void writeSvg(std::ostream& out, const Summary& summary,
              std::string_view source);

}  // namespace report
