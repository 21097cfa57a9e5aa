// libFuzzer target for the checkpoint reader: the input is a checkpoint's
// text, read within 64 MiB. A refusal must name its line. A checkpoint that
// is read must be written back as a text that reads again to the same
// text: the reader takes only what the writer can say.
#include <cstdint>
#include <sstream>

#include "checkpoint.hpp"

namespace {

// The text of a checkpoint read from `text`, or empty when it is refused.
std::string reread(const std::string& text) {
  NodePool nodes;
  const ActivePool active(&nodes);
  std::istringstream in(text);
  SavedRun run;
  std::vector<Ttree*> trees;
  const std::string why = readCheckpoint(in, run, trees, 64 << 20);
  if (!why.empty()) {
    if (!why.starts_with("line ")) __builtin_trap();
    return {};
  }
  std::vector<TIndividual> records(trees.size());
  std::vector<TIndividual*> population;
  for (std::size_t i = 0; i < trees.size(); ++i) {
    records[i].tree = trees[i];
    population.push_back(&records[i]);
  }
  std::string written;
  formatCheckpoint(run, population.data(), [&](std::string_view piece) {
    written += piece;
    return true;
  });
  return written;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string written =
      reread({reinterpret_cast<const char*>(data), size});
  if (!written.empty() && reread(written) != written) __builtin_trap();
  return 0;
}
