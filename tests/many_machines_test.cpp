// The README's recipe for runs on many machines, as written there, over ssh
// to an sshd of the test's own on 127.0.0.1 (tests/many_machines.sh).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support.hpp"

namespace {

// A port nothing listens on now.
int freePort() {
  const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  bind(socket, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
  close(socket);
  return ntohs(address.sin_port);
}

}  // namespace

TEST(ManyMachines, TheReadmeRecipeRunsAsWritten) {
  ScratchDir dir;
  if (runShell(dir,
               "command -v parallel && command -v ssh-keygen && "
               "test -x /usr/sbin/sshd") != 0) {
    GTEST_SKIP() << "sshd (openssh-server), ssh (openssh-client) or GNU "
                    "parallel is missing: the README's recipe is not run";
  }
  std::ifstream in(SOURCE_DIR "/README.md");
  const std::string readme{std::istreambuf_iterator<char>(in), {}};
  const std::string start = "```sh\nparallel --sshlogin node1,node2 ";
  const std::size_t at = readme.find(start) + 6;
  ASSERT_NE(at, std::string::npos + 6) << "README.md has no " << start;
  // Only the logins change.
  dir.write("recipe.sh", readme.substr(at, readme.find("```", at) - at)
                             .replace(20, 11, "node-a,node-b"));
  dir.write("testVals.csv", "1,-8,20\n0.5,2,-1\n2.5,0.25,1\n-1,3,0.5\n");
  const std::string exe = APPROXIMATOR_EXE;
  EXPECT_EQ(runShell(dir, "PORT=" + std::to_string(freePort()) + " BIN_DIR='" +
                              exe.substr(0, exe.rfind('/')) +
                              "' sh '" SOURCE_DIR
                              "/tests/many_machines.sh' >log 2>&1"),
            0)
      << dir.read("log");
}
