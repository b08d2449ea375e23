// Errors that leave the library: automation errors with a number, a source and a description.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace tabrix {

// Product name used as the source of the library's own errors.
inline constexpr const char* kProductName = "TabrixCom";

// Object-error base: the library's own error numbers are this plus a small code.
inline constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);

constexpr std::int32_t ObjectErrorNumber(int code) {
  return static_cast<std::int32_t>(0x80040000u + static_cast<std::uint32_t>(code));
}

// Run-time error numbers of the scripting platform that the engines surface unchanged.
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrSubscriptOutOfRange = 9;
inline constexpr std::int32_t kErrTypeMismatch = 13;

class AutomationError : public std::runtime_error {
 public:
  AutomationError(std::int32_t number, std::string source, std::string description)
      : std::runtime_error(description),
        number_(number),
        source_(std::move(source)),
        description_(std::move(description)) {}

  std::int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }

  // "0x8004000B" style text of the number.
  std::string HexNumber() const;

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
};

// Raises error `number` (one of tabrix/error_codes.h) with source "TabrixCom".
[[noreturn]] void RaiseTabrixError(std::int32_t number, const std::string& description);

// Raises a platform run-time error (6 overflow, 9 subscript out of range, 13 type mismatch)
// with its standard description.
[[noreturn]] void RaiseRuntimeError(std::int32_t number);

// Keeps number and source of `cause`, replaces the description.
[[noreturn]] void RaiseWithDescription(const AutomationError& cause, const std::string& description);

// Turns any exception into an AutomationError (std::bad_alloc and other std::exceptions keep
// their text; unknown exceptions become a generic error).
AutomationError ToAutomationError(std::exception_ptr error);

}  // namespace tabrix
