// Errors raised by the database objects themselves (not by a provider): the numbers and texts
// hosts know from the platform's data-access objects.
#pragma once

#include <cstdint>
#include <string>

namespace tabrix::platform {

// Unspecified provider failure; used when a provider reports no number of its own.
inline constexpr std::int32_t kErrProviderFailure = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kErrObjectClosed = static_cast<std::int32_t>(0x800A0E78u);
inline constexpr std::int32_t kErrObjectOpen = static_cast<std::int32_t>(0x800A0E79u);
inline constexpr std::int32_t kErrNoCurrentRecord = static_cast<std::int32_t>(0x800A0BCDu);
inline constexpr std::int32_t kErrItemNotFound = static_cast<std::int32_t>(0x800A0CC1u);
inline constexpr std::int32_t kErrConnectionUnusable = static_cast<std::int32_t>(0x800A0E7Du);
inline constexpr std::int32_t kErrInvalidArgument = static_cast<std::int32_t>(0x800A0BB9u);

// `object` names the raising object ("Connection", "Recordset", "Field", "Fields").
[[noreturn]] void RaiseObjectClosed(const std::string& object);
[[noreturn]] void RaiseObjectOpen(const std::string& object);
[[noreturn]] void RaiseNoCurrentRecord(const std::string& object);
[[noreturn]] void RaiseItemNotFound(const std::string& object);
[[noreturn]] void RaiseConnectionUnusable(const std::string& object);
[[noreturn]] void RaiseInvalidArgument(const std::string& object, const std::string& detail);

// A provider error: `nativeNumber` is kept when not 0, otherwise kErrProviderFailure is used.
[[noreturn]] void RaiseProviderError(std::int64_t nativeNumber, const std::string& source,
                                     const std::string& message);

}  // namespace tabrix::platform
