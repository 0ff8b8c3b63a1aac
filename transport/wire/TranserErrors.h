#pragma once
// The exceptions of the peer transport. Each ends the connection it happens on;
// none crosses to another connection.
#include <stdexcept>
#include <string>

namespace tarnix {

class ETranserError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A socket call failed: "ReceiveBuf Error - <errno>", "SendBuf Error - <errno>",
// "Can't set the socket option: SO_SNDBUF".
class ETranserSocketError : public ETranserError {
 public:
  using ETranserError::ETranserError;
};

// A command the connection cannot take: a type outside the table
// ("PacketCrashed - <type>"), or a frame or payload that breaks its layout or a
// bound ("PacketCrashed - <type>: <which bound and value>").
class ETranserPacketCrashError : public ETranserError {
 public:
  using ETranserError::ETranserError;
  static ETranserPacketCrashError ForType(int type) {
    return ETranserPacketCrashError("PacketCrashed - " + std::to_string(type));
  }
  static ETranserPacketCrashError Malformed(int type, const std::string& detail) {
    return ETranserPacketCrashError("PacketCrashed - " + std::to_string(type) + ": " + detail);
  }
};

// zlib failed while compressing or inflating a chunk ("error").
class ECompressionError : public ETranserError {
 public:
  ECompressionError() : ETranserError("error") {}
};

// A host message shorter than its layout or with a length past its end.
class EHostMessageError : public ETranserError {
 public:
  using ETranserError::ETranserError;
};

}  // namespace tarnix
