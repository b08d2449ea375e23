// A host program of the Tabrix library, built against an installed copy (see CMakeLists.txt
// beside it): runs the report a definition file describes and prints each statement's outcome.
//   report_host DEFINITION_FILE [PARAM1 ... PARAM10]
#include <cstdint>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tabrix/tabrix.h"

namespace {

// Events arrive on the calling thread while the report runs.
class StatementLog : public tabrix::TabrixEvents {
 public:
  void FunctionAfterExectue(std::string FunctionNo, std::int16_t /*FunctionType*/, std::int32_t /*SQLNo*/,
                            tabrix::ErrObject ErrObj) override {
    std::cout << "@" << FunctionNo << ": " << (ErrObj.Number == 0 ? "done" : ErrObj.Description) << "\n";
    if (ErrObj.Number != 0) ++failures;
  }
  int failures = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 12) {
    std::cerr << "Usage: report_host DEFINITION_FILE [PARAM1 ... PARAM10]\n";
    return 2;
  }
  std::string definition = argv[1];
  std::vector<std::string> params(argv + 2, argv + argc);
  params.resize(10);

  tabrix::Tabrix engine;
  StatementLog log;
  engine.SetEventSink(&log);
  try {
    tabrix::ApplicationPtr application = tabrix::platform::CreateSpreadsheetApplication();
    engine.Foliowright(application, definition, params[0], params[1], params[2], params[3], params[4],
                       params[5], params[6], params[7], params[8], params[9]);
  } catch (...) {
    const tabrix::AutomationError error = tabrix::ToAutomationError(std::current_exception());
    std::cerr << "report failed: " << error.HexNumber() << " (" << error.Source() << "): "
              << error.Description() << "\n";
    return 1;
  }
  std::cout << "report finished, " << log.failures << " statement(s) failed\n";
  return log.failures == 0 ? 0 : 1;
}
