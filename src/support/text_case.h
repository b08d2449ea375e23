// Comparison of user texts without regard to case (sheet, field and defined names, section and
// key names of definition files, report file types), for every letter through ICU's case folding.
#pragma once

#include <string>
#include <string_view>

namespace tabrix {

// The full Unicode case folding of UTF-8 text ("GRÖßE" and "größe" both fold to "grösse");
// bytes that are not UTF-8 fold as U+FFFD.
std::string CaseFolded(std::string_view text);

// True when the two texts have the same case folding.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tabrix
