#include "support.hpp"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

ScratchDir::ScratchDir() {
  std::string name =
      (std::filesystem::temp_directory_path() / "approximator-XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = name;
}

int runShell(const ScratchDir& dir, const std::string& command,
             std::uint64_t addressSpace) {
  const std::string line = "cd '" + dir.path().string() + "' && " + command;
  const rlimit limit{addressSpace, addressSpace};
  const pid_t child = fork();
  if (child == 0 && (addressSpace == 0 || setrlimit(RLIMIT_AS, &limit) == 0))
    execl("/bin/sh", "sh", "-c", line.c_str(), nullptr);
  if (child == 0) _exit(127);
  int raw = 0;
  if (child < 0 || waitpid(child, &raw, 0) != child) return -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

RunResult runProgram(const ScratchDir& dir, const std::string& input,
                     const std::string& redirect, std::uint64_t addressSpace) {
  dir.write(".stdin", input);
  const int status = runShell(
      dir,
      // A sanitizer build checks for leaks too (other builds ignore this).
      "ASAN_OPTIONS=$ASAN_OPTIONS:detect_leaks=1 '" APPROXIMATOR_EXE
      "' < .stdin 2> .stderr " +
          (redirect.empty() ? std::string("> .stdout") : redirect),
      addressSpace);
  RunResult result{dir.read(".stdout"), dir.read(".stderr"), status};
  for (const char* name : {".stdin", ".stdout", ".stderr"}) {
    std::filesystem::remove(dir.path() / name);
  }
  return result;
}
