#include "support.hpp"

#include <sys/wait.h>

#include <cstdlib>
#include <stdexcept>

ScratchDir::ScratchDir() {
  std::string name =
      (std::filesystem::temp_directory_path() / "approximator-XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = name;
}

int runShell(const ScratchDir& dir, const std::string& command) {
  const int raw =
      std::system(("cd '" + dir.path().string() + "' && " + command).c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

RunResult runProgram(const ScratchDir& dir, const std::string& input,
                     const std::string& redirect) {
  dir.write(".stdin", input);
  const int status = runShell(
      dir, "'" APPROXIMATOR_EXE "' < .stdin 2> .stderr " +
               (redirect.empty() ? std::string("> .stdout") : redirect));
  RunResult result{dir.read(".stdout"), dir.read(".stderr"), status};
  for (const char* name : {".stdin", ".stdout", ".stderr"}) {
    std::filesystem::remove(dir.path() / name);
  }
  return result;
}
