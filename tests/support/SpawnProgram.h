#pragma once
// Starts a real program for end-to-end tests: on the offscreen Qt platform,
// with its standard output and error appended to a file shown on failure.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarnix::test {

// Returns the child's pid, or -1 with errno set when it could not be started.
pid_t SpawnOffscreen(const std::filesystem::path& program, std::vector<std::string> args,
                     const std::filesystem::path& outputFile);

}  // namespace tarnix::test
