// The keys a definition file's keyed sections know, for the checks and hints that name the
// nearest known key. Numbered keys (Name1 .. Name10) are listed with "#" for their number.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tabrix {

// Section name in lower case ("data source", "file", "parameter") -> its keys.
const std::map<std::string, std::vector<std::string>>& DefinitionSectionKeys();

// "Name3" -> {"Name", 3}; {key, 0} when the key does not end in a number of one to three digits.
std::pair<std::string, int> SplitKeyNumber(const std::string& key);

}  // namespace tabrix
