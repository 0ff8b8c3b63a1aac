#pragma once
// A scratch folder for one test: created fresh under the system's temp folder
// (optionally with a name that contains blanks) and removed with everything in
// it when the object goes out of scope. Also small file helpers and a
// condition wait with a deadline for tests that watch another process.
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace tarnix::test {

class TTempFolder {
 public:
  // The folder's last name starts with prefix; blanks in it are kept.
  explicit TTempFolder(std::string_view prefix = "tarnix-test");
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Whole-file helpers; ReadFile returns "" for a missing file.
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// Polls condition until it holds or the deadline passes; true when it held.
bool WaitFor(const std::function<bool()>& condition,
             std::chrono::milliseconds deadline = std::chrono::seconds(30));

}  // namespace tarnix::test
