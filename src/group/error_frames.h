// Error frames of the grouped report. Each phase of the report catches whatever fails inside it
// and raises it again with the phase's own number and description prefix; the general frame
// keeps the caught error's number and source. Failures the report raises directly (its own
// messages) are raised outside these frames.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "tabrix/error.h"
#include "tabrix/error_codes.h"

namespace tabrix::group {

inline constexpr std::int32_t kCellListFrame = kErrBadCellList;      // "Syntax error. Failed to parse cell list. "
inline constexpr std::int32_t kGroupFrame = kErrBadGroup;            // "Syntax error. Failed to parse group. "
inline constexpr std::int32_t kRangeFrame = kErrBadRange;            // "Syntax error. Failed to parse range '<Range>'. "
inline constexpr std::int32_t kGroupRangeFrame = kErrBadGroupRange;  // "Syntax error. Failed to parse grouprange. "

inline constexpr const char* kGeneralFramePrefix = "Failed to execute function GroupTableReport. ";

// Runs `step`; any failure becomes error `number` from TabrixCom with the description prefix +
// the caught description.
template <class Step>
decltype(auto) InFrame(std::int32_t number, const std::string& prefix, Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (...) {
    AutomationError caught = ToAutomationError(std::current_exception());
    RaiseTabrixError(number, prefix + caught.Description());
  }
}

// Runs `step`; any failure keeps its number and source and gets the general prefix.
template <class Step>
decltype(auto) InGeneralFrame(Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (...) {
    AutomationError caught = ToAutomationError(std::current_exception());
    RaiseWithDescription(caught, kGeneralFramePrefix + caught.Description());
  }
}

}  // namespace tabrix::group
