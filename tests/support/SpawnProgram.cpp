#include "tests/support/SpawnProgram.h"

#include <fcntl.h>
#include <spawn.h>

#include <cerrno>

extern char** environ;

namespace tarnix::test {

pid_t SpawnOffscreen(const std::filesystem::path& program, std::vector<std::string> args,
                     const std::filesystem::path& outputFile) {
  args.insert(args.begin(), program.string());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStorage;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::string(*e).rfind("QT_QPA_PLATFORM=", 0) != 0) envStorage.emplace_back(*e);
  }
  envStorage.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<char*> envp;
  for (std::string& e : envStorage) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string output = outputFile.string();
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    errno = result;
    return -1;
  }
  return pid;
}

}  // namespace tarnix::test
