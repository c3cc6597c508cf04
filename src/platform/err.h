// The error record every fallible operation of the module fills: number, source (the
// routine that failed) and description. It is the module's one error type, from the
// platform layer up to the command line.
#pragma once

#include <string>
#include <utility>

namespace larkedi {

/// An error as operations report it. Number 0 means no error, so an operation that returns
/// an Err reads `if (Err err = Op()) { ...failed... }`.
struct Err {
  long Number = 0;
  std::string Source;
  std::string Description;

  explicit operator bool() const { return Number != 0; }
  void Clear() { *this = Err{}; }
  static Err Raise(long number, std::string source, std::string description) {
    return Err{number, std::move(source), std::move(description)};
  }
};

/// Error numbers the module raises itself: component and parse failures, and others.
constexpr long kErrComponent = 9000;
constexpr long kErrGeneral = 1000;
/// File errors ("Path/File access error"), as the module reports a file it cannot write.
constexpr long kErrFileAccess = 75;

}  // namespace larkedi
