// The public methods. Each one hands over to its engine.
#include "tabrix/tabrix.h"

namespace tabrix {
namespace {

[[noreturn]] void NotImplementedYet(const char* method) {
  throw AutomationError(ObjectErrorNumber(0x1FE), kProductName,
                        std::string(method) + " is not implemented yet.");
}

}  // namespace

void Tabrix::FixTableReport(ByRef<RecordsetPtr>, ByRef<WorksheetPtr>, ByRef<std::string>,
                            ByRef<std::string>, ByRef<std::int16_t>, ByRef<std::int16_t>,
                            ByRef<std::string>, ByRef<std::string>) {
  NotImplementedYet("FixTableReport");
}

void Tabrix::VarTableReport(ByRef<RecordsetPtr>, ByRef<WorksheetPtr>, ByRef<std::string>,
                            ByRef<std::string>, ByRef<std::int16_t>, ByRef<std::int16_t>,
                            ByRef<std::int16_t>, ByRef<std::string>, ByRef<std::string>,
                            ByRef<std::int16_t>) {
  NotImplementedYet("VarTableReport");
}

void Tabrix::GroupTableReport(
    ByRef<RecordsetPtr>, ByRef<WorksheetPtr>, ByRef<std::string>, ByRef<std::string>,
    ByRef<std::int16_t>, ByRef<std::string>, ByRef<std::string>, ByRef<std::int16_t>,
    ByRef<std::string>, ByRef<std::string>, ByRef<std::string>, ByRef<std::string>,
    ByRef<std::string>, ByRef<std::string>, ByRef<std::string>, ByRef<std::string>,
    ByRef<std::string>, ByRef<std::string>, ByRef<std::string>, ByRef<std::string>,
    ByRef<std::string>, ByRef<std::string>, ByRef<std::string>, ByRef<std::string>,
    ByRef<std::string>, ByRef<std::string>, ByRef<std::string>, ByRef<std::string>) {
  NotImplementedYet("GroupTableReport");
}

void Tabrix::SetExcelName(ByRef<RecordsetPtr>, ByRef<WorkbookPtr>, ByRef<std::string>) {
  NotImplementedYet("SetExcelName");
}

void Tabrix::Foliowright(ByRef<ApplicationPtr>, ByRef<std::string>, ByRef<std::string>,
                         ByRef<std::string>, ByRef<std::string>, ByRef<std::string>,
                         ByRef<std::string>, ByRef<std::string>, ByRef<std::string>,
                         ByRef<std::string>, ByRef<std::string>, ByRef<std::string>) {
  NotImplementedYet("Foliowright");
}

}  // namespace tabrix
