// A worksheet that passes every operation on to a real one and counts the structural ones, so
// that a test can see how many insertions, copies and fills a report asked for.
#pragma once

#include <memory>
#include <string>

#include "tabrix/platform/spreadsheet.h"

namespace tabrix::group_test {

class CountingSheet : public platform::Worksheet {
 public:
  explicit CountingSheet(std::shared_ptr<platform::Worksheet> inner) : inner_(std::move(inner)) {}

  int inserts = 0, deletes = 0, copies = 0, autoFills = 0;

  void InsertCells(const platform::CellRect& rect, platform::Shift shift) override {
    ++inserts;
    inner_->InsertCells(rect, shift);
  }
  void DeleteCells(const platform::CellRect& rect, platform::Shift shift) override {
    ++deletes;
    inner_->DeleteCells(rect, shift);
  }
  void CopyCells(const platform::CellRect& source, std::int32_t row, std::int32_t column) override {
    ++copies;
    inner_->CopyCells(source, row, column);
  }
  void AutoFill(const platform::CellRect& source, const platform::CellRect& destination,
                int fillType) override {
    ++autoFills;
    inner_->AutoFill(source, destination, fillType);
  }

  std::string Name() const override { return inner_->Name(); }
  std::shared_ptr<platform::Workbook> Parent() override { return inner_->Parent(); }
  void Activate() override { inner_->Activate(); }
  void Protect(const std::optional<std::string>& password) override { inner_->Protect(password); }
  void Delete() override { inner_->Delete(); }
  platform::CellRect ResolveReference(std::string_view reference) override {
    return inner_->ResolveReference(reference);
  }
  Variant GetValue(std::int32_t row, std::int32_t column) override {
    return inner_->GetValue(row, column);
  }
  void SetValue(std::int32_t row, std::int32_t column, const Variant& value) override {
    inner_->SetValue(row, column, value);
  }
  std::optional<std::string> CellFormula(std::int32_t row, std::int32_t column) override {
    return inner_->CellFormula(row, column);
  }
  void SetRowPageBreak(std::int32_t row, int type) override { inner_->SetRowPageBreak(row, type); }
  void SetColumnPageBreak(std::int32_t column, int type) override {
    inner_->SetColumnPageBreak(column, type);
  }
  double CellLeft(std::int32_t column) override { return inner_->CellLeft(column); }
  double CellTop(std::int32_t row) override { return inner_->CellTop(row); }
  double ColumnWidthPoints(std::int32_t column) override { return inner_->ColumnWidthPoints(column); }
  double RowHeightPoints(std::int32_t row) override { return inner_->RowHeightPoints(row); }
  platform::CellRect MergeArea(std::int32_t row, std::int32_t column) override {
    return inner_->MergeArea(row, column);
  }
  std::shared_ptr<platform::Shape> AddPicture(const std::string& file, bool link, bool save,
                                              double left, double top, double width,
                                              double height) override {
    return inner_->AddPicture(file, link, save, left, top, width, height);
  }
  void AutoFitColumns() override { inner_->AutoFitColumns(); }

 private:
  std::shared_ptr<platform::Worksheet> inner_;
};

}  // namespace tabrix::group_test
