// The native engine's Application: opens workbooks from files into memory.
#pragma once

#include <memory>
#include <string>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {

class XlsxApplication final : public platform::Application {
 public:
  std::string Version() const override { return "16.0"; }
  std::shared_ptr<platform::Workbook> OpenWorkbook(const std::string& path, bool readOnly) override;
};

}  // namespace tabrix::xlsx
