// tarnix-config: looks into and writes encrypted configuration files.
//   tarnix-config show FILE    prints the decrypted XML of FILE
//   tarnix-config write FILE   reads XML from stdin and writes it encrypted to FILE
//   tarnix-config default      prints the built-in default configuration
// Exit status 0 on success, 1 with a one-line message on stderr otherwise.
#include <cstdio>
#include <exception>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

#include "app/config/hcConfig.h"

namespace {

constexpr const char* kUsage =
    "usage: tarnix-config show FILE | write FILE | default | --help\n"
    "  show FILE    print the decrypted XML of the configuration file FILE\n"
    "  write FILE   read XML from stdin and write it encrypted to FILE\n"
    "               (a broken document is refused and FILE is kept)\n"
    "  default      print the built-in default configuration\n";

int Fail(std::string message) {
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::cerr << "tarnix-config: " << message << '\n';
  return 1;
}

std::string ReadStdin() {
  std::string text;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), stdin)) > 0) {
    text.append(buffer, got);
    if (text.size() > tarnix::kMaxConfigFileSize) throw tarnix::EConfigError("stdin: document too large");
  }
  if (std::ferror(stdin)) throw tarnix::EConfigError("stdin: cannot read");
  return text;
}

int Show(const std::string& file) {
  const std::string text = tarnix::ReadConfigFileText(tarnix::ConfigFile{file});
  try {
    tarnix::ParseConfigText(text);
  } catch (const tarnix::EConfigError& e) {
    throw tarnix::EConfigError("config file " + file + ": " + e.what());
  }
  std::cout << text;
  std::cout.flush();
  return std::cout ? 0 : Fail("cannot write to stdout");
}

int Write(const std::string& file) {
  const std::string text = ReadStdin();
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return Fail("stdin holds no XML document");
  tarnix::TXMLConfigType config;
  try {
    config = tarnix::ParseConfigText(text);
  } catch (const tarnix::EConfigError& e) {
    throw tarnix::EConfigError(std::string("stdin: ") + e.what());
  }
  tarnix::SaveConfig(config, tarnix::ConfigFile{file});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int args = argc - 1;
  const std::string_view command = args >= 1 ? argv[1] : "";
  try {
    if (command == "--help" || command == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (command == "show" && args == 2) return Show(argv[2]);
    if (command == "write" && args == 2) return Write(argv[2]);
    if (command == "default" && args == 1) {
      std::cout << tarnix::DefaultConfigText() << '\n';
      return 0;
    }
    return Fail(args == 0 ? "no command given (try --help)"
                          : "bad arguments for '" + std::string(command) + "' (try --help)");
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}
