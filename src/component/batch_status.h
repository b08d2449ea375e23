// The status file of a batch read back: which manifest lines an earlier batch finished and how.
#pragma once

#include <string>
#include <vector>

namespace tabrix {

struct StatusRecord {
  int Line = 0;
  std::string Definition;
  std::vector<std::string> Parameters;
  int Outcome = -1;
};

// The readable lines of a status file (none when it does not exist); a line cut short is left out.
std::vector<StatusRecord> ReadStatusFile(const std::string& statusFile);

}  // namespace tabrix
