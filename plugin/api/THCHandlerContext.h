#pragma once
// THCHandlerContext: what the plugin API objects of one program work on: the
// bus registries, the member list, the configuration document, the program
// folder, and the ports to the parts that live elsewhere (the connection
// service client, the messenger session step, the main window). Any entry may
// be left empty; the views over it then answer their failure values.
//
// Lifetime: the owner (the start-up sequence, or a test) builds it once the
// member list exists and keeps the objects it names alive until every plugin
// has been terminated. Handlers and views share one immutable copy.
#include <filesystem>
#include <functional>
#include <string>

#include "app/config/ConfigTypes.h"

namespace tarnix {

class THCServiceManager;
class THCEventManager;
class THCMemberList;
class THCMember;

struct THCHostPorts {
  // The connection service client: logged in; the address part of its own
  // address ("" when it cannot be learned); the base address in force; and the
  // look-up of a member's address (its result code; raises when the request
  // fails).
  std::function<bool()> logined;
  std::function<std::string()> myAddress;
  std::function<std::string()> serviceUrl;
  std::function<int(THCMember& member)> getMemberAddress;
  // The messenger session step: true when the partner was found and is now a member.
  std::function<bool(const std::string& mySessionName, const std::string& partnerSessionName,
                     bool inviter)>
      openSession;
  // The main window shows the user's own presence state again.
  std::function<void()> refreshOwnState;
};

struct THCHandlerContext {
  THCServiceManager* services = nullptr;
  THCEventManager* events = nullptr;
  THCMemberList* members = nullptr;
  TXMLConfigType config;
  // Holds "config/bubbyicon/" and "plugins/".
  std::filesystem::path programFolder;
  THCHostPorts ports;
};

}  // namespace tarnix
