#pragma once
// Placeholder subsystems that succeed, used until the real ones exist: an
// empty connection manager, a member list that shows the
// stored members but never connects, a server that only logs, a connection
// service that accepts every login without a request, a plugin list that
// loads nothing, built-in English texts, a router that accepts every
// mapping, and an HTTP GET that fails (so the version check stays silent).
#include "app/startup/Subsystems.h"

namespace tarnix {

TSubsystemFactories PlaceholderFactories();

// The built-in English texts of the placeholder language, "" for unknown keys.
std::string PlaceholderText(const std::string& section, const std::string& key);

}  // namespace tarnix
