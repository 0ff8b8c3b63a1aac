#pragma once
// Helpers of the configuration tests: a scratch folder and whole-file I/O.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace tarnix::testing {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarnix-config-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string ToHex(std::string_view bytes) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

inline std::string FromHex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return out;
}

// A small configuration text exactly as the document writer lays it out, and
// its file bytes computed once with an independent Blowfish-CBC (key: the
// Shift_JIS key bytes, the fixed vector, PKCS #7 padding).
inline constexpr std::string_view kSmallConfigText =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<config>\n"
    "  <setting>\n"
    "    <profile>\n"
    "      <dispname>\xE9\x9B\xAA\xE3\x81\xA0\xE3\x82\x8B\xE3\x81\xBE \xE2\x98\x83</dispname>\n"
    "    </profile>\n"
    "  </setting>\n"
    "</config>\n";
inline constexpr std::string_view kSmallConfigFileHex =
    "9F777B628C7CF1414742C26B027D01525B36632C202FF62E00620E54859FCF71A31C34FFA380002197C967E16D9ED72A"
    "53D9CAA91A78957C2C5C5846D86239BB0B78E92FF48622E6135F70D5D9AF7EE9C8DFECE489C1B1679BF162C77318B45F"
    "2954A67F8DD169747120A08A2E197E45064D917694AB4A8E3ABADDE2D10F2BC7E80C57F918C4489A91C1768C03D52343"
    "3B0AF73F3244F1989E77DE4E71527403";
// The empty text under the same key: one block of padding.
inline constexpr std::string_view kEmptyConfigFileHex = "8E7B4EAFFA2EF756";

}  // namespace tarnix::testing
