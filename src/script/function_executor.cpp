// Running one function statement of a report run (see function_executor.h).
#include "script/function_executor.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "component/run_context.h"
#include "support/run_log.h"
#include "tabrix/error.h"
#include "tabrix/error_codes.h"
#include "tabrix/variant.h"

namespace tabrix {
namespace {

[[noreturn]] void RaiseObjectNotSet() {
  throw AutomationError(91, kProductName, "Object variable or With block variable not set");
}

// The data source's recordset as the fill methods see it: every call goes to it, and the
// number of distinct records it was positioned on is counted (the records it delivered).
class CountingRecordset final : public platform::Recordset {
 public:
  explicit CountingRecordset(RecordsetPtr inner) : inner_(std::move(inner)) {}

  void Open(const std::string& source, std::shared_ptr<platform::Connection> activeConnection, int cursorType,
            int lockType, int options) override {
    inner_->Open(source, std::move(activeConnection), cursorType, lockType, options);
    Positioned(0);
  }
  int State() const override { return inner_->State(); }
  void Close() override { inner_->Close(); }
  bool Eof() const override { return inner_->Eof(); }
  void MoveFirst() override {
    inner_->MoveFirst();
    Positioned(0);
  }
  void MoveNext() override {
    inner_->MoveNext();
    Positioned(position_ + 1);
  }
  platform::Fields& GetFields() override { return inner_->GetFields(); }

  std::int32_t Delivered() const { return delivered_; }

 private:
  void Positioned(std::int32_t position) {
    position_ = position;
    if (!inner_->Eof()) delivered_ = std::max(delivered_, position + 1);
  }

  RecordsetPtr inner_;
  std::int32_t position_ = 0;
  std::int32_t delivered_ = 0;
};

class StatementRun {
 public:
  StatementRun(RunContext& run, Tabrix& component, const StatementRecord& statement, ConnectionPtr connection)
      : component_(component),
        statement_(statement),
        connection_(std::move(connection)),
        run_(run),
        prefix_("[" + statement.Name + "]    ") {
    const int index = statement.DataSourceIndex;
    if (index >= 0 && index <= kMaxDataSources && run_.Recordsets[static_cast<std::size_t>(index)]) {
      counter_ = std::make_shared<CountingRecordset>(run_.Recordsets[static_cast<std::size_t>(index)]);
      recordset_ = counter_;
    }
  }

  void Execute(const std::string& header, const std::string& pageBreakText, const std::string& sqlText) {
    WriteLine(header);
    WriteLine(prefix_ + sqlText);

    run_.StatementCounter = static_cast<std::int16_t>(run_.StatementCounter + 1);
    run_.CurrentFunctionName = statement_.Name;
    run_.CurrentFunctionType = statement_.FunctionType;
    Trap([&] {
      if (run_.Events)
        run_.Events->FunctionBeforeExectue(statement_.Name, statement_.FunctionType, run_.StatementCounter, sqlText);
    });
    // A before-event handler that fails makes the statement fail without running it.
    if (pending_) return CommonFailure();

    switch (statement_.FunctionType) {
      case kFunctionExecSql:
        Trap([&] {
          if (!connection_) RaiseObjectNotSet();
          connection_->Execute(sqlText, -1);
        });
        if (pending_) return CommonFailure();
        return Success();
      case kFunctionName:
        Trap([&] { OpenRecordset(sqlText); });
        if (pending_) return CommonFailure();
        Trap([&] {
          RecordsetPtr recordset = recordset_;
          WorkbookPtr workbook = run_.ReportWorkbook;
          std::string names = statement_.ListText;
          component_.SetExcelName(recordset, workbook, names);
        });
        if (pending_) return FillFailure();
        CloseRecordset();
        return Success();
      case kFunctionReport:
        if (!FindWorksheet()) return FailureEnding();
        Trap([&] { OpenRecordset(sqlText); });
        if (pending_) return CommonFailure();
        Trap([&] { Fill(pageBreakText); });
        if (pending_) return FillFailure();
        CloseRecordset();
        return Success();
      default:
        return Success();
    }
  }

 private:
  template <class F>
  void Trap(F step) {
    try {
      step();
    } catch (...) {
      pending_ = ToAutomationError(std::current_exception());
    }
  }

  void WriteLine(const std::string& text) {
    if (!run_.Log) return;
    try {
      run_.Log->WriteLine(text);
    } catch (...) {
    }
  }

  void WriteErrorEntry(const std::string& message, const std::string& information = "") {
    if (!run_.Log) return;
    try {
      run_.Log->WriteErrorEntry(message, information);
    } catch (...) {
    }
  }

  void OpenRecordset(const std::string& sqlText) {
    if (!recordset_) RaiseObjectNotSet();
    recordset_->Open(sqlText, connection_, -1, -1, -1);
  }

  void CloseRecordset() {
    try {
      if (recordset_ && recordset_->State() != platform::kStateClosed) recordset_->Close();
    } catch (...) {
    }
  }

  // The worksheet named by SHEET, or the one at its position when it is a number.
  bool FindWorksheet() {
    const std::string& sheet = statement_.Sheet;
    try {
      if (!run_.ReportWorkbook) RaiseObjectNotSet();
      worksheet_ = run_.ReportWorkbook->WorksheetByName(sheet);
      if (worksheet_) return true;
    } catch (...) {
    }
    std::string message;
    if (!IsNumeric(sheet)) {
      message = "Syntax error. The sheet \"" + sheet + "\" does not exist.";
    } else {
      try {
        const double position = RoundHalfEven(TextToNumber(sheet));
        if (run_.ReportWorkbook && position >= 1 && position <= 2147483647.0) {
          worksheet_ = run_.ReportWorkbook->WorksheetAt(static_cast<std::int32_t>(position));
          if (worksheet_) return true;
        }
      } catch (...) {
      }
      message = "Syntax error. The sheet " + sheet + " does not exist.";
    }
    WriteErrorEntry(message);
    pending_ = AutomationError(kErrSheetMissing, kProductName, message);
    return false;
  }

  void Fill(const std::string& pageBreakText) {
    RecordsetPtr recordset = recordset_;
    WorksheetPtr worksheet = worksheet_;
    std::string cells = statement_.ListText;
    std::string range = statement_.RangeText;
    std::int16_t copy = statement_.Copy;
    std::int16_t reserve = statement_.Reserve;
    std::int16_t fillOrder = statement_.FillOrder;
    std::string images = statement_.ImageListText;
    std::string pageBreak = pageBreakText;
    std::int16_t noData = statement_.NoData;

    if (statement_.Type == 1) {
      component_.FixTableReport(recordset, worksheet, cells, range, copy, fillOrder, images, pageBreak);
      return;
    }
    if (run_.SpreadsheetMajorVersion >= 12 && worksheet) worksheet->Activate();
    if (statement_.GroupCount == 0) {
      component_.VarTableReport(recordset, worksheet, cells, range, copy, reserve, fillOrder, images, pageBreak,
                                noData);
      return;
    }
    std::array<std::string, kMaxGroups> groups{}, groupRanges{};
    for (int g = 0; g < statement_.GroupCount && g < kMaxGroups; ++g) {
      groups[g] = statement_.GroupText[g];
      groupRanges[g] = statement_.GroupRange[g];
    }
    component_.GroupTableReport(recordset, worksheet, cells, range, fillOrder, images, pageBreak, noData,
                                groups[0], groupRanges[0], groups[1], groupRanges[1], groups[2], groupRanges[2],
                                groups[3], groupRanges[3], groups[4], groupRanges[4], groups[5], groupRanges[5],
                                groups[6], groupRanges[6], groups[7], groupRanges[7], groups[8], groupRanges[8],
                                groups[9], groupRanges[9]);
  }

  void CommonFailure() {
    WriteErrorEntry("Failed to excute function.", pending_->Description());
    FailureEnding();
  }

  // A fill method's own error: its description is the message.
  void FillFailure() {
    WriteErrorEntry(pending_->Description());
    FailureEnding();
  }

  void Success() {
    WriteLine(prefix_ + "Success.");
    Record(ErrObject{});
    RaiseAfter(ErrObject{});
    worksheet_.reset();
  }

  void FailureEnding() {
    WriteLine(prefix_ + "Failure.");
    Record(ErrObject{pending_->Number(), pending_->Source(), pending_->Description()});
    RaiseAfter(ErrObject{pending_->Number(), pending_->Source(), pending_->Description()});
    CloseRecordset();
    worksheet_.reset();
  }

  void Record(ErrObject error) {
    const std::int32_t records =
        statement_.FunctionType == kFunctionExecSql || !counter_ ? 0 : counter_->Delivered();
    run_.Statements.push_back(
        StatementOutcome{run_.StatementCounter, statement_.Name, statement_.FunctionType, records, std::move(error)});
  }

  void RaiseAfter(ErrObject error) {
    if (!run_.Events) return;
    try {
      run_.Events->FunctionAfterExectue(statement_.Name, statement_.FunctionType, run_.StatementCounter,
                                        std::move(error));
    } catch (...) {
      // The statement is over; a failing handler changes nothing.
    }
  }

  Tabrix& component_;
  const StatementRecord& statement_;
  ConnectionPtr connection_;
  RunContext& run_;
  std::string prefix_;
  std::shared_ptr<CountingRecordset> counter_;
  RecordsetPtr recordset_;
  WorksheetPtr worksheet_;
  std::optional<AutomationError> pending_;
};

}  // namespace

void ExecuteStatement(RunContext& run, Tabrix& component, const StatementRecord& statement,
                      ConnectionPtr connection, const std::string& header, const std::string& pageBreakText,
                      const std::string& sqlText) {
  StatementRun(run, component, statement, std::move(connection)).Execute(header, pageBreakText, sqlText);
}

}  // namespace tabrix
