#include "core/bus/ExceptionText.h"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <typeinfo>

namespace tarnix {
namespace {

std::string Demangle(const char* mangled) {
  int status = 0;
  const std::unique_ptr<char, decltype(&std::free)> plain(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
  return status == 0 && plain ? std::string(plain.get()) : std::string(mangled);
}

}  // namespace

ExceptionText DescribeCurrentException() {
  ExceptionText text;
  if (!std::current_exception()) {
    return {"unknown", "no exception"};
  }
  const std::type_info* type = abi::__cxa_current_exception_type();
  text.className = type != nullptr ? Demangle(type->name()) : "unknown";
  try {
    throw;
  } catch (const std::exception& e) {
    text.message = e.what();
  } catch (...) {
    text.message = "unknown exception";
  }
  return text;
}

}  // namespace tarnix
