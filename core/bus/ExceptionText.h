#pragma once
// Describes the exception being handled, for the guards' log lines: the class
// name of the thrown object and its message. Call it only inside a catch block.
#include <string>

namespace tarnix {

struct ExceptionText {
  std::string className;  // e.g. "std::runtime_error"; "unknown" when not determinable
  std::string message;    // what(), or "unknown exception" for a type without one
};

ExceptionText DescribeCurrentException();

}  // namespace tarnix
