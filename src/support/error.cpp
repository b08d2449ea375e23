// Automation errors: raising the library's numbered errors, the platform's run-time errors, and
// turning any exception into an AutomationError.
#include "tabrix/error.h"
#include "tabrix/error_codes.h"

#include <cstdio>
#include <new>

namespace tabrix {

std::string AutomationError::HexNumber() const {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(number_));
  return buffer;
}

void RaiseTabrixError(std::int32_t number, const std::string& description) {
  throw AutomationError(number, kProductName, description);
}

void RaiseRuntimeError(std::int32_t number) {
  const char* text = "Application-defined or object-defined error";
  switch (number) {
    case kErrOverflow: text = "Overflow"; break;
    case kErrSubscriptOutOfRange: text = "Subscript out of range"; break;
    case kErrTypeMismatch: text = "Type mismatch"; break;
    case 7: text = "Out of memory"; break;
    case 5: text = "Invalid procedure call or argument"; break;
  }
  throw AutomationError(number, kProductName, text);
}

void RaiseWithDescription(const AutomationError& cause, const std::string& description) {
  throw AutomationError(cause.Number(), cause.Source(), description);
}

AutomationError ToAutomationError(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const AutomationError& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return AutomationError(7, kProductName, "Out of memory");
  } catch (const std::exception& e) {
    return AutomationError(kErrUnexpected, kProductName, e.what());
  } catch (...) {
    return AutomationError(kErrUnexpected, kProductName, "Unknown error");
  }
}

}  // namespace tabrix
