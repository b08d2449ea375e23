// Path and file utilities: separators, absolute paths against a base folder, folder chains,
// file checks.
#include "support/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

namespace tabrix {

namespace fs = std::filesystem;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

// Splits at either separator; empty pieces are kept (the caller decides about them).
std::vector<std::string_view> SplitSegments(std::string_view path) {
  std::vector<std::string_view> segments;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      segments.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return segments;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string NativePath(std::string_view path) {
  std::string result(path);
  for (char& c : result)
    if (c == '\\') c = '/';
  return result;
}

std::string FolderPart(std::string_view path) {
  const std::size_t last = LastSeparator(path);
  if (last == std::string_view::npos) return "";
  return NativePath(path.substr(0, last));
}

std::string BaseName(std::string_view path) {
  const std::size_t last = LastSeparator(path);
  std::string_view name = last == std::string_view::npos ? path : path.substr(last + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

bool IsNetworkPath(std::string_view path) {
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool IsUrl(std::string_view text) { return text.find("://") != std::string_view::npos; }

std::string ResolveRelativePath(std::string_view baseFolder, std::string_view path) {
  if ((path.size() >= 2 && path[1] == ':') || IsNetworkPath(path) ||
      (!path.empty() && IsSeparator(path[0])))
    return NativePath(path);

  std::string work = NativePath(baseFolder);
  if (!work.empty() && work.back() == '/') work.pop_back();
  // A local absolute base may climb up to the root ("" stands for "/"); a network base or a
  // relative one follows the rule that the folder must keep at least two characters.
  const bool localRoot = !baseFolder.empty() && IsSeparator(baseFolder[0]) &&
                         !IsNetworkPath(baseFolder);

  std::vector<std::string_view> segments = SplitSegments(path);
  const std::string_view last = segments.back();
  segments.pop_back();
  for (std::string_view segment : segments) {
    if (segment == "." || segment.empty()) continue;
    if (segment == "..") {
      if (localRoot && work.empty()) return "";
      const std::size_t cut = work.rfind('/');
      work = cut == std::string::npos ? std::string() : work.substr(0, cut);
    } else {
      work += '/';
      work += segment;
    }
    if (!localRoot && work.size() < 2) return "";
  }
  return work + "/" + std::string(last);
}

std::string AbsolutePath(std::string_view path, std::string_view baseFolder) {
  fs::path target(NativePath(path));
  if (!target.is_absolute()) {
    fs::path base;
    if (baseFolder.empty()) {
      std::error_code error;
      base = fs::current_path(error);
    } else {
      base = fs::path(AbsolutePath(baseFolder));
    }
    target = base / target;
  }
  std::string result = target.lexically_normal().string();
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

bool FileExists(std::string_view path) {
  std::string native = NativePath(path);
  if (!native.empty() && native.back() == '/') native.pop_back();
  if (native.empty() || IsDirectory(native)) return false;
  std::FILE* file = std::fopen(native.c_str(), "rb");
  if (!file) return false;
  std::fclose(file);
  return true;
}

bool MakeFolderChain(std::string_view folder) {
  std::string native = NativePath(folder);
  if (native.empty()) return false;
  if (native.back() != '/') native += '/';
  for (std::size_t i = 1; i < native.size(); ++i) {
    if (native[i] != '/') continue;
    const std::string level = native.substr(0, i);
    if (!IsDirectory(level)) {
      std::error_code error;  // a level that fails does not stop the next attempt
      fs::create_directory(level, error);
    }
  }
  return IsDirectory(native);
}

std::string RandomPassword() {
  const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  std::mt19937 generator(static_cast<std::uint32_t>(now) ^ std::random_device{}());
  std::uniform_int_distribution<int> code(48, 122);
  std::string password;
  for (int i = 0; i < 6; ++i) password += static_cast<char>(code(generator));
  return password;
}

std::string ComponentFolder() {
  std::error_code error;
  fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) return AbsolutePath(".");
  return program.parent_path().string();
}

}  // namespace tabrix
