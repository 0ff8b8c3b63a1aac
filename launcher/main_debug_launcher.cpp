// debug-launcher: starts the tarnix program that sits in the launcher's own
// folder with the single switch "/debug", does not wait for it, and ends with
// exit code 0 whatever happened. It links nothing of the system.
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

// The running program's own file name as the kernel reports it.
std::string OwnFileName() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

int main() {
  const std::string own = OwnFileName();
  // The folder is everything up to and including the last delimiter; empty
  // when there is none.
  const size_t slash = own.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : own.substr(0, slash + 1);
  std::string program = folder + "tarnix";
  std::string debugSwitch = "/debug";

  // Exactly (path, "/debug"): arguments given to the launcher are not passed on.
  char* argv[] = {program.data(), debugSwitch.data(), nullptr};
  pid_t child = 0;
  // The result is ignored on purpose: a missing program is not reported.
  (void)posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ);
  return 0;
}
