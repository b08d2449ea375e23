// The native engine's Application, and the platform's factory that hands it out.
#include "xlsx/xlsx_application.h"

#include <sys/stat.h>

#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {

std::shared_ptr<platform::Workbook> XlsxApplication::OpenWorkbook(const std::string& path, bool readOnly) {
  if (!settings_.ShareOpenedPackages || !readOnly) return XlsxWorkbook::Open(shared_from_this(), path);
  return XlsxWorkbook::Open(shared_from_this(), path, [this](const std::string& file) { return SharedPackage(file); });
}

PackageParts XlsxApplication::SharedPackage(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return ReadZipFile(path, true);
  auto unchanged = [&info](const KeptPackage& kept) {
    return kept.size == static_cast<long long>(info.st_size) && kept.modified.tv_sec == info.st_mtim.tv_sec &&
           kept.modified.tv_nsec == info.st_mtim.tv_nsec;
  };
  {
    std::lock_guard lock(packagesMutex_);
    const auto found = packages_.find(path);
    if (found != packages_.end() && unchanged(found->second)) return *found->second.parts;
  }
  // Read outside the lock; two threads that miss at once both read, the later one is kept.
  auto parts = std::make_shared<const PackageParts>(ReadZipFile(path, true));
  std::lock_guard lock(packagesMutex_);
  packages_[path] = KeptPackage{info.st_mtim, static_cast<long long>(info.st_size), parts};
  return *parts;
}

}  // namespace tabrix::xlsx

namespace tabrix::platform {

std::shared_ptr<Application> CreateSpreadsheetApplication(const ApplicationSettings& settings) {
  return std::make_shared<xlsx::XlsxApplication>(settings);
}

}  // namespace tabrix::platform
