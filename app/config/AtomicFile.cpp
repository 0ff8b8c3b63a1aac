#include "app/config/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace tarnix {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path, int error) {
  throw EFileWriteError(what + " " + path.string() + ": " + std::strerror(error));
}

// Closes and removes the temporary unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(const std::filesystem::path& target) {
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) Fail("cannot create a temporary file for", target, errno);
    path_ = name.data();
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  int Close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }
  void Commit() { committed_ = true; }

 private:
  int fd_ = -1;
  std::string path_;
  bool committed_ = false;
};

}  // namespace

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  TempFile temp(path);
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(temp.Fd(), data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write", temp.Path(), errno);
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  if (::fsync(temp.Fd()) != 0) Fail("cannot flush", temp.Path(), errno);
  if (temp.Close() != 0) Fail("cannot close", temp.Path(), errno);
  if (::rename(temp.Path().c_str(), path.c_str()) != 0) Fail("cannot replace", path, errno);
  temp.Commit();
  // Make the rename itself durable; the new content is complete either way.
  std::filesystem::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

}  // namespace tarnix
