// The native engine's Application: opens workbooks from files into memory.
#pragma once

#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "xlsx/zip_archive.h"

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
  // The parts of `path`, from the shared packages when the file is unchanged (ShareOpenedPackages).
  PackageParts SharedPackage(const std::string& path);

  struct KeptPackage {
    std::timespec modified{};
    long long size = 0;
    std::shared_ptr<const PackageParts> parts;
  };

  platform::ApplicationSettings settings_;
  std::mutex packagesMutex_;
  std::map<std::string, KeptPackage> packages_;
};

}  // namespace tabrix::xlsx
