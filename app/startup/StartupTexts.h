#pragma once
// The program's own texts of the start-up sequence: fatal message boxes
// (caption and text; the text is followed by the exception's message where
// it ends in CR LF) and the log lines of start and stop.
namespace tarnix {

inline constexpr const char* kFatalEntryCaption = "Fatal Error";
inline constexpr const char* kFatalEntryText = "It wasn't able to initialize.";
inline constexpr const char* kFatalConfigCaption = "Fatal Error 007";
inline constexpr const char* kFatalConfigText = "Failed to load config file.\r\n";
inline constexpr const char* kFatalCoreCaption = "Fatal Error 001";
inline constexpr const char* kFatalCoreText = "Initialization failed.\r\n";
inline constexpr const char* kFatalCommandLineCaption = "Fatal Error 005";
inline constexpr const char* kFatalCommandLineText = "Plugin initialization failed.\r\n";
inline constexpr const char* kFatalDebugCaption = "Fatal Error 003";
inline constexpr const char* kFatalDebugText = "Initialization failed.\r\n";
inline constexpr const char* kFatalPluginsCaption = "Fatal Error 004";
inline constexpr const char* kFatalPluginsText = "Plugin initialization failed.\r\n";
inline constexpr const char* kFatalNoLanguageCaption = "Fatal Error 006";
inline constexpr const char* kFatalNoLanguageText = "There are not language files.";
inline constexpr const char* kFatalLanguageCaption = "Fatal Error 002";
inline constexpr const char* kFatalLanguageText = "Language files can't load.\r\n";
inline constexpr const char* kFatalFormCaption = "Fatal Error 005";
inline constexpr const char* kFatalFormText = "Form initialization failed.\r\n";

inline constexpr const char* kApplicationTitle = "Tarnix";

}  // namespace tarnix
