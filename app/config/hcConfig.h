#pragma once
// The configuration document and its encrypted file.
//
// LoadConfig builds the document from the built-in default and the user's
// file <program folder>/config/config.dat (Blowfish-CBC over the UTF-8 XML
// text, key ConfigKeyText(), the fixed vector, count padding; no header).
// SaveConfig drops anonymous members and replaces the file atomically.
// The accessors are in ConfigTypes.h, the merge in XMLMarge.h.
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/config/ConfigTypes.h"

namespace tarnix {

// Load and save failures; the message names the file and the cause (the
// cipher's "Crypt Error" or assertion text, the XML error, the system error).
class EConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where the configuration lives. The program folder is injected so that
// tests and tools can point anywhere.
struct ConfigFile {
  std::filesystem::path path;
  // programFolder/config/config.dat
  static ConfigFile ForProgramFolder(const std::filesystem::path& programFolder);
};

// Files larger than this are refused as damaged instead of being read.
inline constexpr std::size_t kMaxConfigFileSize = 64u * 1024 * 1024;

// The key text "雪解け水路" as its 10 Shift_JIS bytes, so files stay
// exchangeable with installations that use that code page.
std::string_view ConfigKeyText();

// Blowfish-CBC, fixed vector, count padding (see transport/crypto/CryptUtils.h).
// DecryptText raises the cipher's errors (ECryptError, EAssertionFailed).
std::string EncryptText(std::string_view plain, std::string_view key);
std::string DecryptText(std::string_view cipher, std::string_view key);

// The built-in default document, leading and trailing white space trimmed.
std::string DefaultConfigText();

// Parses configuration text into a new document: declaration set to version
// "1.0", encoding "utf-8"; empty text gives a bare root "config". Raises
// EConfigError for text that is not one well-formed element "config".
// The document is bound to no file.
TXMLConfigType ParseConfigText(std::string_view text);

// Reads and decrypts a configuration file (no parsing). Raises EConfigError
// when it cannot be read or decrypted.
std::string ReadConfigFileText(const ConfigFile& file);

// LoadConfig's document built from the bytes of a configuration file,
// bound to no file. Raises EConfigError without a file name.
TXMLConfigType ConfigFromFileBytes(std::string_view bytes);

// The document (declaration included) as it is written to the file.
std::string ConfigText(const TXMLConfigType& config);

// The default merged under the user's file (or the default alone when the
// file does not exist); stored members are marked not anonymous. The
// document remembers file for SaveConfig(config). Raises EConfigError and
// never touches the file.
TXMLConfigType LoadConfig(const ConfigFile& file);

// Removes anonymous members from the document, then writes it, encrypted,
// to the document's file / to file. Raises EConfigError when the file cannot
// be written; the previous file then stays as it was.
void SaveConfig(const TXMLConfigType& config);
void SaveConfig(const TXMLConfigType& config, const ConfigFile& file);

}  // namespace tarnix
