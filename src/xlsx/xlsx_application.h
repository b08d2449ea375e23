// The native engine's Application: opens workbooks from files into memory.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {

class XlsxApplication final : public platform::Application {
 public:
  explicit XlsxApplication(platform::ApplicationSettings settings = {}) : settings_(std::move(settings)) {}
  std::string Version() const override { return "16.0"; }
  std::shared_ptr<platform::Workbook> OpenWorkbook(const std::string& path, bool readOnly) override;

  // Recalculation and converter settings of the workbooks this application opens.
  const platform::ApplicationSettings& Settings() const { return settings_; }
  platform::ApplicationSettings& Settings() { return settings_; }

 private:
  platform::ApplicationSettings settings_;
};

}  // namespace tabrix::xlsx
