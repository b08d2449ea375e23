// Error frames of the grouped report. Each phase of the report catches whatever fails inside it
// and raises it again with the phase's own number and description prefix; the general frame
// keeps the caught error's number and source. Failures the report raises directly (its own
// messages) are raised outside these frames.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "tabrix/error.h"

namespace tabrix::group {

inline constexpr int kCellListFrame = 0x71;    // "Syntax error. Failed to parse cell list. "
inline constexpr int kGroupFrame = 0x8E;       // "Syntax error. Failed to parse group. "
inline constexpr int kRangeFrame = 0x7A;       // "Syntax error. Failed to parse range '<Range>'. "
inline constexpr int kGroupRangeFrame = 0x90;  // "Syntax error. Failed to parse grouprange. "

inline constexpr const char* kGeneralFramePrefix = "Failed to execute function GroupTableReport. ";

// Runs `step`; any failure becomes error 0x80040000 + code from TabrixCom with the description
// prefix + the caught description.
template <class Step>
decltype(auto) InFrame(int code, const std::string& prefix, Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (...) {
    AutomationError caught = ToAutomationError(std::current_exception());
    RaiseObjectError(code, prefix + caught.Description());
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
