// Helpers of the run tests: text files, and run-log lines without their time prefix.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace tabrix::testing {

inline void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream file(path, std::ios::binary);
  file << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

// The log's lines without the "[YYYYMMDD hh:mm:ss]    " prefix. Every line must end in CR LF and
// carry the prefix.
inline std::vector<std::string> LogTexts(const std::string& path) {
  static const std::regex prefix(R"(^\[\d{8} \d{2}:\d{2}:\d{2}\]    )");
  const std::string text = ReadText(path);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "line without CR LF at offset " << start;
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    std::smatch match;
    EXPECT_TRUE(std::regex_search(line, match, prefix)) << "line without time prefix: " << line;
    lines.push_back(match.empty() ? line : line.substr(static_cast<std::size_t>(match.length(0))));
    start = end + 2;
  }
  return lines;
}

}  // namespace tabrix::testing
