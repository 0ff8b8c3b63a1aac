#pragma once
// The check for a newer program version and the donation banner, both shown
// as alerts. The checks are pure functions of their inputs; raising the alert
// and fetching the version file are the caller's (Startup.h).
#include <optional>
#include <string>
#include <vector>

#include "app/startup/Alert.h"
#include "app/startup/Subsystems.h"

namespace tarnix {

// The last number of a dotted version ("0.5.15.123" gives 123); 0 when that
// part is not a number.
int LastVersionNumber(const std::string& version);

// Lines of a text split at LF with a CR before it dropped; a final line break
// does not start another line.
std::vector<std::string> SplitLines(const std::string& text);

// The alert for the version file's answer: its first line is the newest build
// number; when that is greater than the program's own last number, the alert
// of kind 4 (30000 ms, title Utils/BL_NEWVER) carries the remaining lines.
// No alert for one line or less; a first line that is not a number throws
// std::invalid_argument (the caller ends the check silently).
std::optional<TAlert> VersionCheckAlert(const std::string& answer,
                                        const std::string& programVersion,
                                        const ILanguage& language);

// Launch counts that show the donation banner: 50, 150, 250 and so on.
bool IsDonationLaunch(long long launchNumber);

// The donation banner: kind 1, default display time, title Utils/BL_DONATE.
TAlert DonationAlert(const ILanguage& language);

// The banner's body: a short HTML fragment with a donation link and picture.
const char* DonationText();

}  // namespace tarnix
