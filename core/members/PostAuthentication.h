#pragma once
// The member core's part of the main window's handler of OnMemberAuthenticated:
// what a newly authenticated member is told, and the save that follows.
#include "app/config/ConfigTypes.h"

namespace tarnix {

class THCMember;

// For a member that is not anonymous: imDisplayName, imState (own state),
// imBuddyIcon (when the own picture exists), imSettings, imVersion, in this
// order. False, with nothing sent, for an anonymous member.
bool SendPostAuthenticationExchange(THCMember& member);

// Saves the configuration; a failure is logged instead of raised.
bool SaveConfigLogged(const TXMLConfigType& config);

}  // namespace tarnix
