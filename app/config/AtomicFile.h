#pragma once
// Replaces a file's content all at once: the bytes go to a new temporary
// file in the same folder, are flushed to the disk, and only then is the
// temporary renamed over the target. A crash, a full disk or any error
// before the rename leaves the previous file as it was; the temporary is
// removed on failure. The new file is readable by its owner only.
#include <filesystem>
#include <stdexcept>
#include <string_view>

namespace tarnix {

class EFileWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tarnix
