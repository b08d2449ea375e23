// A worksheet and a recordset held in memory, for checks that are about the operations the
// grouped report asks for (how many insertions, copies and fills) and about record counts far
// beyond what a test wants to push through a saved file. The worksheet keeps cell values only
// and shifts them as entire-row, entire-column and band insertions and deletions do.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tabrix/platform/database.h"
#include "tabrix/platform/spreadsheet.h"

namespace tabrix::memory {

class MemorySheet : public platform::Worksheet {
 public:
  struct Counts {
    int Inserts = 0, Deletes = 0, Copies = 0, AutoFills = 0;
  };

  std::string Name() const override { return "Sheet1"; }
  std::shared_ptr<platform::Workbook> Parent() override { return nullptr; }
  void Activate() override {}
  void Protect(const std::optional<std::string>&) override {}
  void Delete() override { deleted = true; }

  platform::CellRect ResolveReference(std::string_view reference) override;

  Variant GetValue(std::int32_t row, std::int32_t column) override;
  void SetValue(std::int32_t row, std::int32_t column, const Variant& value) override;

  void InsertCells(const platform::CellRect& rect, platform::Shift shift) override;
  void DeleteCells(const platform::CellRect& rect, platform::Shift shift) override;
  void CopyCells(const platform::CellRect& source, std::int32_t destRow,
                 std::int32_t destColumn) override;
  void AutoFill(const platform::CellRect& source, const platform::CellRect& destination,
                int fillType) override;

  void SetRowPageBreak(std::int32_t row, int) override { rowBreaks.insert(row); }
  void SetColumnPageBreak(std::int32_t column, int) override { columnBreaks.insert(column); }

  double CellLeft(std::int32_t column) override { return 48.0 * (column - 1); }
  double CellTop(std::int32_t row) override { return 15.0 * (row - 1); }
  double ColumnWidthPoints(std::int32_t) override { return 48.0; }
  double RowHeightPoints(std::int32_t) override { return 15.0; }
  platform::CellRect MergeArea(std::int32_t row, std::int32_t column) override {
    return {row, column, row, column};
  }
  std::shared_ptr<platform::Shape> AddPicture(const std::string&, bool, bool, double, double,
                                              double, double) override;
  void AutoFitColumns() override {}

  // Text of a cell ("" when blank).
  std::string Text(std::int32_t row, std::int32_t column);
  // The texts of a row from column 1 to `lastColumn`, joined by "|".
  std::string RowText(std::int32_t row, std::int32_t lastColumn);
  // Greatest row holding a value.
  std::int32_t LastRow() const;

  Counts counts;
  std::set<std::int32_t> rowBreaks, columnBreaks;
  bool deleted = false;

 private:
  using Key = std::pair<std::int32_t, std::int32_t>;  // row, column
  std::map<Key, Variant> cells_;
};

// A static recordset over rows held in memory.
class MemoryRecordset : public platform::Recordset {
 public:
  MemoryRecordset(std::vector<std::string> names, std::vector<std::vector<Variant>> rows);

  void Open(const std::string&, std::shared_ptr<platform::Connection>, int, int, int) override {}
  int State() const override { return open_ ? platform::kStateOpen : platform::kStateClosed; }
  void Close() override { open_ = false; }
  bool Eof() const override { return position_ >= rows_.size(); }
  void MoveFirst() override { position_ = 0; }
  void MoveNext() override;
  platform::Fields& GetFields() override { return fields_; }

  std::size_t Position() const { return position_; }

 private:
  class MemoryField : public platform::Field {
   public:
    MemoryField(const MemoryRecordset& owner, std::int32_t index) : owner_(owner), index_(index) {}
    std::string Name() const override { return owner_.names_[static_cast<std::size_t>(index_)]; }
    std::int32_t Attributes() const override { return 0; }
    Variant Value() const override;
    Variant GetChunk(std::int32_t) override { return Variant::Null(); }

   private:
    const MemoryRecordset& owner_;
    std::int32_t index_;
  };
  class MemoryFields : public platform::Fields {
   public:
    explicit MemoryFields(MemoryRecordset& owner);
    std::int32_t Count() const override { return static_cast<std::int32_t>(fields_.size()); }
    platform::Field& Item(std::int32_t index) override;

   private:
    std::vector<std::unique_ptr<MemoryField>> fields_;
  };

  std::vector<std::string> names_;
  std::vector<std::vector<Variant>> rows_;
  std::size_t position_ = 0;
  bool open_ = true;
  MemoryFields fields_;
};

}  // namespace tabrix::memory
