// A LibreOffice converter that stays up: a few headless LibreOffice processes serve the
// conversions of many reports (legacy templates read, xls/ods/pdf/... reports saved) instead of
// one process start per conversion. Hand it to RunOptions::Converter or ApplicationSettings.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tabrix {

class OfficeConverter {
 public:
  // `program`: the LibreOffice program (a path or a name on the PATH; empty: as for a single
  // conversion, TABRIX_OFFICE_PROGRAM, then soffice). `timeout`: longest time one conversion may
  // take (zero: TABRIX_OFFICE_TIMEOUT, then 300 seconds). `processes`: how many LibreOffice
  // processes serve conversions at the same time (at least one). Processes start on first use.
  static std::shared_ptr<OfficeConverter> Create(const std::string& program = {},
                                                 std::chrono::milliseconds timeout = std::chrono::milliseconds(0),
                                                 int processes = 1);
  // Stops every LibreOffice process of the converter and removes their files.
  ~OfficeConverter();
  OfficeConverter(const OfficeConverter&) = delete;
  OfficeConverter& operator=(const OfficeConverter&) = delete;

  // Converts `input` (only read) with the LibreOffice filter `filter` ("calc_pdf_Export",
  // "MS Excel 97", "calc8", ...) to `output`, replacing a file there in one rename.
  // `targetExtension` names the format in messages ("pdf"). Thread-safe: callers wait for a
  // free process. A process that does not answer within the timeout or ends is stopped with its
  // whole process group and started again, and the conversion is tried once more. Raises an
  // AutomationError (1004) saying what went wrong.
  void Convert(const std::string& input, const std::string& targetExtension, const std::string& filter,
               const std::string& output);

  // The process groups of the LibreOffice processes running now (one per process; each holds
  // LibreOffice and the bridge that drives it).
  std::vector<int> ProcessGroups() const;
  // Processes started since the converter was created (restarts included).
  int Starts() const;

  struct State;

 private:
  explicit OfficeConverter(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace tabrix
