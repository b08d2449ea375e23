// Errors raised by the database objects themselves, with the numbers and texts of the
// data-access objects hosts know.
#include "db/database_errors.h"

#include "tabrix/error.h"

namespace tabrix::platform {

void RaiseObjectClosed(const std::string& object) {
  throw AutomationError(kErrObjectClosed, object,
                        "Operation is not allowed when the object is closed.");
}

void RaiseObjectOpen(const std::string& object) {
  throw AutomationError(kErrObjectOpen, object, "Operation is not allowed when the object is open.");
}

void RaiseNoCurrentRecord(const std::string& object) {
  throw AutomationError(kErrNoCurrentRecord, object,
                        "Either BOF or EOF is True, or the current record has been deleted. "
                        "Requested operation requires a current record.");
}

void RaiseItemNotFound(const std::string& object) {
  throw AutomationError(kErrItemNotFound, object,
                        "Item cannot be found in the collection corresponding to the requested "
                        "name or ordinal.");
}

void RaiseConnectionUnusable(const std::string& object) {
  throw AutomationError(kErrConnectionUnusable, object,
                        "The connection cannot be used to perform this operation. It is either "
                        "closed or invalid in this context.");
}

void RaiseInvalidArgument(const std::string& object, const std::string& detail) {
  throw AutomationError(kErrInvalidArgument, object,
                        "Arguments are of the wrong type, are out of acceptable range, or are in "
                        "conflict with one another. " + detail);
}

void RaiseProviderError(std::int64_t nativeNumber, const std::string& source,
                        const std::string& message) {
  std::int32_t number = static_cast<std::int32_t>(nativeNumber);
  if (number == 0) number = kErrProviderFailure;
  throw AutomationError(number, source, message);
}

}  // namespace tabrix::platform
