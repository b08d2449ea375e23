// Temporary definition files for the definition tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tabrix::testing_support {

class DefinitionFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tabrix-def-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code error;
    std::filesystem::remove_all(folder_, error);
  }

  // Writes the lines joined by `lineEnd` (and ending with it) to a file of the folder.
  std::string Write(const std::string& name, const std::vector<std::string>& lines,
                    const std::string& lineEnd = "\r\n", const std::string& prefix = "") {
    std::string content = prefix;
    for (const std::string& line : lines) content += line + lineEnd;
    return WriteBytes(name, content);
  }
  std::string WriteBytes(const std::string& name, const std::string& content) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  std::string folder_;
};

}  // namespace tabrix::testing_support
