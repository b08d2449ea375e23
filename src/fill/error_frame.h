// The error frame of the fill engines: the engine's own messages (missing objects, cell list,
// range and image list problems) leave it as they are; every other failure is raised again
// with its number and source and the engine's prefix before its description.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "tabrix/error.h"

namespace tabrix::fill {

// Carries an error past the general frame unchanged.
struct PassThroughError {
  AutomationError error;
};

// Runs one step whose AutomationErrors are the engine's own messages.
template <class Step>
decltype(auto) PassThroughErrors(Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (const AutomationError& error) {
    throw PassThroughError{error};
  }
}

// Runs an engine body: pass-through errors leave as they are, any other failure gets `prefix`.
template <class Body>
void RunFramed(const std::string& prefix, Body&& body) {
  try {
    std::forward<Body>(body)();
  } catch (const PassThroughError& passed) {
    throw passed.error;
  } catch (...) {
    const AutomationError cause = ToAutomationError(std::current_exception());
    RaiseWithDescription(cause, prefix + cause.Description());
  }
}

// The error an unset object argument gives when one of its members is used.
[[noreturn]] void RaiseObjectNotSet();

// Checks a computed row or column against the sheet's limits, as addressing a cell would.
std::int32_t CheckedRow(std::int64_t row);
std::int32_t CheckedColumn(std::int64_t column);

}  // namespace tabrix::fill
