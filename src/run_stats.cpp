#include "run_stats.hpp"

#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

std::string failure(const char* what, const std::string& path) {
  return std::string("cannot ") + what + " the statistics file '" + path +
         "': " + std::strerror(errno);
}

}  // namespace

std::string openStats(StatsFile& stats, const std::string& path) {
  stats.path = path;
  stats.file.reset(std::fopen(path.c_str(), "w"));
  if (!stats.file) return failure("open", path);
  // RFC 4180 ends every record with CRLF.
  std::fprintf(stats.file.get(), "%s\r\n", kStatsHeader);
  return {};
}

std::string statsNumber(float value) {
  if (std::isnan(value)) return "nan";
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

std::string writeStatsRow(StatsFile& stats, const StatsRow& row) {
  if (!stats.file || stats.failed) return {};
  std::FILE* const file = stats.file.get();
  const bool written =
      std::fprintf(file, "%d,%s,%s,%lld,%lld,%.9g,%.3f\r\n", row.generation,
                   statsNumber(row.bestCost).c_str(),
                   statsNumber(row.medianCost).c_str(), row.nonFinite,
                   row.bestNodes, row.meanNodes, row.seconds) > 0 &&
      std::fflush(file) == 0;
  if (written) return {};
  stats.failed = true;
  return failure("write", stats.path);
}

long long treeNodes(const Ttree* tree) {
  if (tree == nullptr) return 0;
  return 1 + treeNodes(tree->Hi) + treeNodes(tree->Hd);
}
