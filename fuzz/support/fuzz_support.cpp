// Shared pieces of the fuzz targets: structured values from the fuzzer's bytes, scratch files,
// and the check that only the library's own errors come out.
#include "fuzz/support/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <map>
#include <typeinfo>

#include "tabrix/error.h"

namespace tabrix::fuzz {

std::uint8_t InputReader::Byte() {
  if (text_.empty()) return 0;
  const auto value = static_cast<std::uint8_t>(text_.front());
  text_.remove_prefix(1);
  return value;
}

std::uint16_t InputReader::Word() {
  const std::uint16_t high = Byte();
  return static_cast<std::uint16_t>((high << 8) | Byte());
}

std::int32_t InputReader::IntInRange(std::int32_t low, std::int32_t high) {
  if (high <= low) return low;
  const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(high) - low) + 1;
  std::uint64_t value = 0;
  for (std::uint64_t reach = 1; reach < span && !text_.empty(); reach <<= 8) value = (value << 8) | Byte();
  return static_cast<std::int32_t>(low + static_cast<std::int64_t>(value % span));
}

std::string_view InputReader::ShortString(std::size_t maxLength) {
  std::size_t length = Byte();
  if (length > maxLength) length %= maxLength + 1;
  if (length > text_.size()) length = text_.size();
  const std::string_view value = text_.substr(0, length);
  text_.remove_prefix(length);
  return value;
}

std::string_view InputReader::Line() {
  const std::size_t end = text_.find('\n');
  const std::string_view line = text_.substr(0, end);
  text_.remove_prefix(end == std::string_view::npos ? text_.size() : end + 1);
  return line;
}

std::string_view InputReader::Rest() {
  const std::string_view rest = text_;
  text_ = {};
  return rest;
}

const std::string& ScratchPath(std::string_view suffix) {
  static std::map<std::string, std::string, std::less<>> paths;
  auto found = paths.find(suffix);
  if (found != paths.end()) return found->second;
  const char* folder = std::getenv("TMPDIR");
  std::string path = std::string(folder && *folder ? folder : "/tmp") + "/tabrix-fuzz-" +
                     std::to_string(::getpid()) + "-" + std::to_string(paths.size()) +
                     std::string(suffix);
  // Removed when the process ends normally (a crash leaves it for inspection).
  static struct Cleaner {
    std::map<std::string, std::string, std::less<>>* table;
    ~Cleaner() {
      for (const auto& entry : *table) std::remove(entry.second.c_str());
    }
  } cleaner{&paths};
  return paths.emplace(std::string(suffix), std::move(path)).first->second;
}

void WriteScratchFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write the scratch file %s\n", path.c_str());
    std::abort();
  }
}

void ExpectOnlyAutomationErrors(const char* what, const std::function<void()>& body) {
  try {
    body();
  } catch (const AutomationError& error) {
    // A clear error: the expected answer to a bad input.
    static const bool verbose = std::getenv("TABRIX_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "%s: %s\n", what, error.Description().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: unexpected %s: %s\n", what, typeid(error).name(), error.what());
    std::abort();
  } catch (...) {
    std::fprintf(stderr, "%s: unexpected non-standard exception\n", what);
    std::abort();
  }
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

}  // namespace tabrix::fuzz
