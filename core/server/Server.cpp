#include "core/server/Server.h"

#include <string>

#include "core/CoreContext.h"
#include "core/bus/ExceptionText.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"
#include "transport/server/TranserServer.h"

namespace tarnix {

THCServer::THCServer(THCCoreContext& context, THCMemberList& members, THCTranserManager& manager)
    : context_(context), members_(members), manager_(manager),
      server_(std::make_unique<TTranserServer>()) {
  server_->SetOnClientConnected([](TTranserServer&, TTranserSocket&) {});
  server_->SetOnGetTranserThread([this](TTranserServer&, TServerSocketThread& serverThread) {
    return GetThread(serverThread);
  });
  const int port = context_.config.GetSetting().GetServer().GetPort();
  server_->SetLocalPort(std::to_string(port));
  members_.SetLocalServerPort(port);
}

THCServer::~THCServer() { StopListening(); }

void THCServer::StartListening() {
  if (server_->Open()) {
    members_.SetLocalServerPort(server_->BoundPort());
  }
  WriteLog("Server started.");
}

void THCServer::StopListening() {
  if (!server_->Active()) return;
  WriteLog("Terminating server...");
  try {
    server_->Close();
  } catch (...) {
    WriteLog("Server Terminating Error.");
  }
}

bool THCServer::Listening() const { return server_->Active(); }

int THCServer::ListeningPort() const { return server_->BoundPort(); }

std::shared_ptr<TTranserThread> THCServer::GetThread(TServerSocketThread& serverThread) {
  if (context_.Finalizing()) return nullptr;
  try {
    std::shared_ptr<TTranserThread> thread = TTranserThread::Create(serverThread);
    manager_.Register(thread);
    return thread;
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    WriteLog("Incoming connection refused: " + e.className + " - " + e.message);
    return nullptr;
  }
}

}  // namespace tarnix
