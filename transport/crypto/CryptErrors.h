#pragma once
// The two errors of the cipher library.
//   ECryptError      "Crypt Error": undecodable padding (wrong key or damaged data).
//   EAssertionFailed "Assertion failure (<unit>: <what>)": a caller broke a
//                    precondition, e.g. a length that is not a whole number of blocks.
#include <stdexcept>
#include <string>

namespace tarnix {

class ECryptError : public std::runtime_error {
 public:
  ECryptError() : std::runtime_error("Crypt Error") {}
};

class EAssertionFailed : public std::runtime_error {
 public:
  EAssertionFailed(const std::string& unit, const std::string& what)
      : std::runtime_error("Assertion failure (" + unit + ": " + what + ")") {}
};

}  // namespace tarnix
