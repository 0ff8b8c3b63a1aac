#pragma once
// Buddy icons on disk: the own picture "config/bubbyicon/myself.bmp" sent to
// members, and the pictures received from members, saved as
// "config/bubbyicon/" + member name + ".bmp" under the program folder.
//
// A member name is a peer's choice, so it is made safe before it becomes a
// file name: '/', '\', '%' and control bytes are written as %XX, and the name
// "myself" as "%6Dyself" so no member can overwrite the own picture. Every
// other name is kept whole (dots included). The mapping is one-to-one, and
// the program's picture readers use the same function.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix {

// Pictures larger than this are neither sent nor accepted.
inline constexpr std::size_t kMaxBuddyIconSize = 1024 * 1024;

std::filesystem::path BuddyIconFolder(const std::filesystem::path& programFolder);
std::filesystem::path OwnBuddyIconPath(const std::filesystem::path& programFolder);
// The file name (without folder) for a member's picture; empty when the safe
// name would be too long for a file name.
std::string BuddyIconFileName(std::string_view memberName);
// folder / BuddyIconFileName(memberName); empty when there is none.
std::filesystem::path BuddyIconPath(const std::filesystem::path& programFolder,
                                    std::string_view memberName);

// The own picture, when it exists, can be read and is at most
// kMaxBuddyIconSize bytes.
std::optional<std::vector<uint8_t>> ReadOwnBuddyIcon(const std::filesystem::path& programFolder);

// A structural check of a Windows bitmap file: signature, header sizes,
// dimensions, bit depth, compression, and pixel data inside the bytes given.
bool IsPlausibleBitmap(std::span<const uint8_t> data);

// Writes data as the member's picture (a new file replaces the old one
// atomically). False, with a log line, when it cannot.
bool SaveBuddyIcon(const std::filesystem::path& programFolder, std::string_view memberName,
                   std::span<const uint8_t> data);

}  // namespace tarnix
