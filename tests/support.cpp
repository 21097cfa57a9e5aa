#include "support.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

ScratchDir::ScratchDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "approximator-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name,
                       const std::string& content) const {
  std::ofstream(path_ / name, std::ios::binary) << content;
}

std::string ScratchDir::read(const std::string& name) const {
  return slurp(path_ / name);
}

int runShell(const ScratchDir& dir, const std::string& command) {
  const int raw =
      std::system(("cd '" + dir.path().string() + "' && " + command).c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

RunResult runProgram(const ScratchDir& dir, const std::string& input,
                     const std::string& redirect) {
  dir.write(".stdin", input);
  RunResult result;
  result.status = runShell(
      dir, "'" APPROXIMATOR_EXE "' < .stdin 2> .stderr " +
               (redirect.empty() ? std::string("> .stdout") : redirect));
  result.out = dir.read(".stdout");
  result.err = dir.read(".stderr");
  for (const char* name : {".stdin", ".stdout", ".stderr"}) {
    std::filesystem::remove(dir.path() / name);
  }
  return result;
}

std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}
