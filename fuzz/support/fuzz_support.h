// Shared pieces of the fuzz targets: reading structured values from the fuzzer's bytes, a
// scratch file per process for readers that take a path, and the rule every target checks:
// a bad input may only end in an AutomationError (the library's clear error), never in any
// other exception, a crash or a sanitizer report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tabrix::fuzz {

// Consumes the input from the front: small integers and length-prefixed strings; the rest of
// the input as one string at the end.
class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size)
      : text_(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return text_.empty(); }
  std::uint8_t Byte();
  std::uint16_t Word();
  std::int32_t IntInRange(std::int32_t low, std::int32_t high);
  bool Flag() { return (Byte() & 1) != 0; }
  // A string of at most `maxLength` bytes (its length taken from one byte).
  std::string_view ShortString(std::size_t maxLength = 64);
  // A line: the bytes up to (not including) the next '\n', or all that is left.
  std::string_view Line();
  std::string_view Rest();

 private:
  std::string_view text_;
};

// A file of this process that targets rewrite for every input (readers taking a path).
const std::string& ScratchPath(std::string_view suffix);
void WriteScratchFile(const std::string& path, std::string_view bytes);

// Runs `body`: AutomationError is a handled bad input; any other exception aborts the process
// with its text so that the fuzzer records the input. With TABRIX_FUZZ_VERBOSE set in the
// environment, handled errors are printed (to see what a corpus input reaches).
void ExpectOnlyAutomationErrors(const char* what, const std::function<void()>& body);

// Aborts with a message when `condition` is false (a property every input must keep).
void Require(bool condition, const char* what);

}  // namespace tabrix::fuzz
