// The public methods. Each one hands over to its engine.
#include "tabrix/tabrix.h"

#include "component/run_driver.h"
#include "fill/fixed_table_report.h"
#include "fill/names_report.h"
#include "fill/variable_table_report.h"
#include "group/grouped_report.h"

namespace tabrix {

void Tabrix::FixTableReport(ByRef<RecordsetPtr> Recordset, ByRef<WorksheetPtr> Worksheet,
                            ByRef<std::string> CellList, ByRef<std::string> Range,
                            ByRef<std::int16_t> Copy, ByRef<std::int16_t> FillOrder,
                            ByRef<std::string> ImageList, ByRef<std::string> PageBreak) {
  fill::RunFixTableReport(events_, *Recordset, *Worksheet, *CellList, *Range, *Copy, *FillOrder,
                          *ImageList, *PageBreak);
}

void Tabrix::VarTableReport(ByRef<RecordsetPtr> Recordset, ByRef<WorksheetPtr> Worksheet,
                            ByRef<std::string> CellList, ByRef<std::string> Range,
                            ByRef<std::int16_t> Copy, ByRef<std::int16_t> Reserve,
                            ByRef<std::int16_t> FillOrder, ByRef<std::string> ImageList,
                            ByRef<std::string> PageBreak, ByRef<std::int16_t> NoData) {
  fill::RunVarTableReport(events_, *Recordset, *Worksheet, *CellList, *Range, *Copy, *Reserve,
                          *FillOrder, *ImageList, *PageBreak, *NoData);
}

void Tabrix::GroupTableReport(
    ByRef<RecordsetPtr> Recordset, ByRef<WorksheetPtr> Worksheet, ByRef<std::string> CellList,
    ByRef<std::string> Range, ByRef<std::int16_t> FillOrder, ByRef<std::string> ImageList,
    ByRef<std::string> PageBreak, ByRef<std::int16_t> NoData, ByRef<std::string> Group1,
    ByRef<std::string> GroupRange1, ByRef<std::string> Group2, ByRef<std::string> GroupRange2,
    ByRef<std::string> Group3, ByRef<std::string> GroupRange3, ByRef<std::string> Group4,
    ByRef<std::string> GroupRange4, ByRef<std::string> Group5, ByRef<std::string> GroupRange5,
    ByRef<std::string> Group6, ByRef<std::string> GroupRange6, ByRef<std::string> Group7,
    ByRef<std::string> GroupRange7, ByRef<std::string> Group8, ByRef<std::string> GroupRange8,
    ByRef<std::string> Group9, ByRef<std::string> GroupRange9, ByRef<std::string> Group10,
    ByRef<std::string> GroupRange10) {
  group::RunGroupTableReport(
      events_, *Recordset, *Worksheet, *CellList, *Range, *FillOrder, *ImageList, *PageBreak,
      *NoData,
      {*Group1, *GroupRange1, *Group2, *GroupRange2, *Group3, *GroupRange3, *Group4,
       *GroupRange4, *Group5, *GroupRange5, *Group6, *GroupRange6, *Group7, *GroupRange7,
       *Group8, *GroupRange8, *Group9, *GroupRange9, *Group10, *GroupRange10});
}

void Tabrix::SetExcelName(ByRef<RecordsetPtr> Recordset, ByRef<WorkbookPtr> Workbook,
                          ByRef<std::string> NameList) {
  fill::RunSetExcelName(*Recordset, *Workbook, *NameList);
}

void Tabrix::Foliowright(ByRef<ApplicationPtr> Application, ByRef<std::string> FwfFile,
                         ByRef<std::string> Param1, ByRef<std::string> Param2,
                         ByRef<std::string> Param3, ByRef<std::string> Param4,
                         ByRef<std::string> Param5, ByRef<std::string> Param6,
                         ByRef<std::string> Param7, ByRef<std::string> Param8,
                         ByRef<std::string> Param9, ByRef<std::string> Param10) {
  const RunResult result = RunDefinition(*this, *Application, *FwfFile,
                                         {*Param1, *Param2, *Param3, *Param4, *Param5, *Param6, *Param7,
                                          *Param8, *Param9, *Param10},
                                         RunOptions{});
  if (!result.Succeeded())
    throw AutomationError(result.Error.Number, result.Error.Source, result.Error.Description);
}

}  // namespace tabrix
