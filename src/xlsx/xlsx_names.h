// The workbook's defined names as the object model's Names collection.
#pragma once

#include <cstdint>
#include <string_view>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::xlsx {

class XlsxWorkbook;

class XlsxNames final : public platform::Names {
 public:
  explicit XlsxNames(XlsxWorkbook* book) : book_(book) {}
  std::int32_t Count() override;
  bool Exists(std::string_view name) override;
  void SetValue(std::string_view name, const Variant& value) override;

 private:
  XlsxWorkbook* book_;
};

}  // namespace tabrix::xlsx
