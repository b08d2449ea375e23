// The report engine's public class: five methods, six events, automation errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tabrix/by_ref.h"
#include "tabrix/error.h"
#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"
#include "tabrix/variant.h"

namespace tabrix {

using RecordsetPtr = std::shared_ptr<platform::Recordset>;
using ConnectionPtr = std::shared_ptr<platform::Connection>;
using WorksheetPtr = std::shared_ptr<platform::Worksheet>;
using WorkbookPtr = std::shared_ptr<platform::Workbook>;
using ApplicationPtr = std::shared_ptr<platform::Application>;

// The error object handed to FunctionAfterExectue: number 0 after a success.
struct ErrObject {
  std::int32_t Number = 0;
  std::string Source;
  std::string Description;
};

// The host's event sink. Events are raised synchronously on the calling thread; the default
// handlers do nothing. "Exectue" in two event names is the interface's own spelling, which hosts
// already bind to: keep it.
class TabrixEvents {
 public:
  virtual ~TabrixEvents() = default;
  virtual void BeforeConnect(std::string& /*UserID*/, std::string& /*Password*/, std::string& /*DataSource*/,
                             ConnectionPtr& /*Connection*/) {}
  virtual void TemplateOpen(WorkbookPtr /*Workbook*/) {}
  // Raised once the report is in place at the run's report path. The workbook was saved to a
  // temporary file beside it and renamed, so its FullName names that temporary file.
  virtual void ReportComplete(WorkbookPtr /*Workbook*/) {}
  virtual void FunctionBeforeExectue(std::string /*FunctionNo*/, std::int16_t /*FunctionType*/,
                                     std::int32_t /*SQLNo*/, std::string /*SQLText*/) {}
  virtual void FunctionAfterExectue(std::string /*FunctionNo*/, std::int16_t /*FunctionType*/,
                                    std::int32_t /*SQLNo*/, ErrObject /*ErrObj*/) {}
  virtual void FunctionProgress(std::int32_t /*Progress*/, std::int32_t /*RecordCount*/) {}
};

class Tabrix {
 public:
  Tabrix() = default;

  // Subscribes a sink (nullptr unsubscribes). The sink must outlive the calls it serves.
  void SetEventSink(TabrixEvents* sink) { events_ = sink; }
  TabrixEvents* EventSink() const { return events_; }

  void FixTableReport(ByRef<RecordsetPtr> Recordset, ByRef<WorksheetPtr> Worksheet,
                      ByRef<std::string> CellList, ByRef<std::string> Range = std::string(),
                      ByRef<std::int16_t> Copy = std::int16_t{0},
                      ByRef<std::int16_t> FillOrder = std::int16_t{0},
                      ByRef<std::string> ImageList = std::string(),
                      ByRef<std::string> PageBreak = std::string());

  void VarTableReport(ByRef<RecordsetPtr> Recordset, ByRef<WorksheetPtr> Worksheet,
                      ByRef<std::string> CellList, ByRef<std::string> Range = std::string(),
                      ByRef<std::int16_t> Copy = std::int16_t{0},
                      ByRef<std::int16_t> Reserve = std::int16_t{1},
                      ByRef<std::int16_t> FillOrder = std::int16_t{0},
                      ByRef<std::string> ImageList = std::string(),
                      ByRef<std::string> PageBreak = std::string(),
                      ByRef<std::int16_t> NoData = std::int16_t{0});

  void GroupTableReport(
      ByRef<RecordsetPtr> Recordset, ByRef<WorksheetPtr> Worksheet, ByRef<std::string> CellList,
      ByRef<std::string> Range = std::string(), ByRef<std::int16_t> FillOrder = std::int16_t{0},
      ByRef<std::string> ImageList = std::string(), ByRef<std::string> PageBreak = std::string(),
      ByRef<std::int16_t> NoData = std::int16_t{0},
      ByRef<std::string> Group1 = std::string(), ByRef<std::string> GroupRange1 = std::string(),
      ByRef<std::string> Group2 = std::string(), ByRef<std::string> GroupRange2 = std::string(),
      ByRef<std::string> Group3 = std::string(), ByRef<std::string> GroupRange3 = std::string(),
      ByRef<std::string> Group4 = std::string(), ByRef<std::string> GroupRange4 = std::string(),
      ByRef<std::string> Group5 = std::string(), ByRef<std::string> GroupRange5 = std::string(),
      ByRef<std::string> Group6 = std::string(), ByRef<std::string> GroupRange6 = std::string(),
      ByRef<std::string> Group7 = std::string(), ByRef<std::string> GroupRange7 = std::string(),
      ByRef<std::string> Group8 = std::string(), ByRef<std::string> GroupRange8 = std::string(),
      ByRef<std::string> Group9 = std::string(), ByRef<std::string> GroupRange9 = std::string(),
      ByRef<std::string> Group10 = std::string(), ByRef<std::string> GroupRange10 = std::string());

  void SetExcelName(ByRef<RecordsetPtr> Recordset, ByRef<WorkbookPtr> Workbook,
                    ByRef<std::string> NameList);

  void Foliowright(ByRef<ApplicationPtr> Application, ByRef<std::string> FwfFile,
                   ByRef<std::string> Param1 = std::string(), ByRef<std::string> Param2 = std::string(),
                   ByRef<std::string> Param3 = std::string(), ByRef<std::string> Param4 = std::string(),
                   ByRef<std::string> Param5 = std::string(), ByRef<std::string> Param6 = std::string(),
                   ByRef<std::string> Param7 = std::string(), ByRef<std::string> Param8 = std::string(),
                   ByRef<std::string> Param9 = std::string(), ByRef<std::string> Param10 = std::string());

 private:
  TabrixEvents* events_ = nullptr;
};

// Component version shown in the run log's first line.
inline constexpr const char* kComponentVersion = "1.4.0";

}  // namespace tabrix
