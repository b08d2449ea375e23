// A throwaway folder of definition and conversion-table files for the definition tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/office_tools.h"

namespace tabrix::testing_support {

class DefinitionFolder : public ::testing::Test {
 protected:
  // Writes `prefix` and the lines, each ended by `lineEnd`, to a file of the folder.
  std::string Write(const std::string& name, const std::vector<std::string>& lines,
                    const std::string& lineEnd = "\r\n", const std::string& prefix = "") {
    std::string content = prefix;
    for (const std::string& line : lines) content += line + lineEnd;
    return WriteBytes(name, content);
  }
  std::string WriteBytes(const std::string& name, const std::string& content) {
    tabrix::testing::WriteTextFile(temp_.File(name), content);
    return temp_.File(name);
  }

  const tabrix::testing::TempFolder temp_{"tabrix-def"};
  const std::string folder_ = temp_.Path();
};

}  // namespace tabrix::testing_support
