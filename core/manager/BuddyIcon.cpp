#include "core/manager/BuddyIcon.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "transport/log/Log.h"

namespace tarnix {
namespace {

// Leaves room for the ".part" of the file written first (NAME_MAX is 255).
constexpr std::size_t kMaxFileNameLength = 250;
constexpr std::string_view kOwnName = "myself";

uint32_t U32(std::span<const uint8_t> d, std::size_t at) {
  return uint32_t{d[at]} | uint32_t{d[at + 1]} << 8 | uint32_t{d[at + 2]} << 16 |
         uint32_t{d[at + 3]} << 24;
}
uint16_t U16(std::span<const uint8_t> d, std::size_t at) {
  return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

void AppendEscaped(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

}  // namespace

std::filesystem::path BuddyIconFolder(const std::filesystem::path& programFolder) {
  return programFolder / "config" / "bubbyicon";
}

std::filesystem::path OwnBuddyIconPath(const std::filesystem::path& programFolder) {
  return BuddyIconFolder(programFolder) / "myself.bmp";
}

std::string BuddyIconFileName(std::string_view memberName) {
  std::string name;
  name.reserve(memberName.size() + 4);
  for (std::size_t i = 0; i < memberName.size(); ++i) {
    const auto c = static_cast<unsigned char>(memberName[i]);
    const bool unsafe = c == '/' || c == '\\' || c == '%' || c < 0x20 || c == 0x7F;
    // The own picture's name is taken: its first letter is written escaped.
    const bool own = i == 0 && memberName == kOwnName;
    if (unsafe || own) {
      AppendEscaped(name, c);
    } else {
      name += static_cast<char>(c);
    }
  }
  name += ".bmp";
  if (name.size() > kMaxFileNameLength) return {};
  return name;
}

std::filesystem::path BuddyIconPath(const std::filesystem::path& programFolder,
                                    std::string_view memberName) {
  const std::string name = BuddyIconFileName(memberName);
  if (name.empty()) return {};
  return BuddyIconFolder(programFolder) / name;
}

std::optional<std::vector<uint8_t>> ReadOwnBuddyIcon(const std::filesystem::path& programFolder) {
  const std::filesystem::path path = OwnBuddyIconPath(programFolder);
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  if (size > kMaxBuddyIconSize) {
    WriteLog("Buddy icon not sent: " + path.string() + " has " + std::to_string(size) +
             " bytes, more than " + std::to_string(kMaxBuddyIconSize));
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad() || data.size() > kMaxBuddyIconSize) return std::nullopt;
  return data;
}

bool IsPlausibleBitmap(std::span<const uint8_t> d) {
  constexpr std::size_t kFileHeader = 14;
  if (d.size() < kFileHeader + 12 || d[0] != 'B' || d[1] != 'M') return false;
  const uint32_t pixelOffset = U32(d, 10);
  const uint32_t headerSize = U32(d, 14);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
      headerSize != 64 && headerSize != 108 && headerSize != 124) {
    return false;
  }
  if (kFileHeader + headerSize > d.size()) return false;
  int64_t width = 0;
  int64_t height = 0;
  uint16_t planes = 0;
  uint16_t bits = 0;
  uint32_t compression = 0;
  if (headerSize == 12) {
    width = U16(d, 18);
    height = U16(d, 20);
    planes = U16(d, 22);
    bits = U16(d, 24);
  } else {
    width = static_cast<int32_t>(U32(d, 18));
    height = static_cast<int32_t>(U32(d, 22));
    planes = U16(d, 26);
    bits = U16(d, 28);
    compression = U32(d, 30);
  }
  constexpr int64_t kMaxSide = 32768;
  if (height < 0) height = -height;
  if (width <= 0 || height == 0 || width > kMaxSide || height > kMaxSide || planes != 1) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (pixelOffset < kFileHeader + headerSize || pixelOffset >= d.size()) return false;
  switch (compression) {
    case 0: {  // uncompressed rows, each padded to 4 bytes
      const int64_t stride = (width * bits + 31) / 32 * 4;
      return stride * height <= static_cast<int64_t>(d.size() - pixelOffset);
    }
    case 1:  // RLE8
      return bits == 8;
    case 2:  // RLE4
      return bits == 4;
    case 3:  // bit fields
    case 6:
      return bits == 16 || bits == 32;
    default:
      return false;
  }
}

bool SaveBuddyIcon(const std::filesystem::path& programFolder, std::string_view memberName,
                   std::span<const uint8_t> data) {
  const std::filesystem::path folder = BuddyIconFolder(programFolder);
  const std::filesystem::path path = BuddyIconPath(programFolder, memberName);
  // The escaping keeps every name inside the folder; checked all the same.
  if (path.empty() || path.parent_path() != folder) {
    WriteLog("Buddy icon not saved: no file name for member \"" + std::string(memberName) + "\"");
    return false;
  }
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  std::filesystem::path temporary = path;
  temporary += ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, error);
      WriteLog("Buddy icon not saved: cannot write " + temporary.string());
      return false;
    }
  }
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    WriteLog("Buddy icon not saved: cannot replace " + path.string() + ": " + error.message());
    return false;
  }
  return true;
}

}  // namespace tarnix
