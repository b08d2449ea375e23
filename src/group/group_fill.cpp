// The grouped report's record loop: closes and opens group blocks as keys change, copies the
// template blocks and writes each record; runs of records within one group get their room at once.
#include "group/group_fill.h"

#include <deque>
#include <exception>
#include <limits>
#include <string>

#include "fill/cell_values.h"
#include "group/block_references.h"
#include "tabrix/error.h"
#include "tabrix/variant.h"

namespace tabrix::group {
namespace {

using platform::CellRect;

// Rows and columns seen from the direction records advance in: "lines" are rows when records go
// down and columns when they go right; "across" is the other direction.
class Lines {
 public:
  explicit Lines(bool down) : down_(down) {}

  std::int32_t Along(const fill::FieldCell& cell) const { return down_ ? cell.Row : cell.Column; }
  std::int32_t Across(const fill::FieldCell& cell) const { return down_ ? cell.Column : cell.Row; }
  std::int32_t First(const GroupLevel& level) const { return down_ ? level.MinRow : level.MinCol; }
  std::int32_t Last(const GroupLevel& level) const { return down_ ? level.MaxRow : level.MaxCol; }
  std::int32_t AcrossFirst(const GroupLevel& level) const {
    return down_ ? level.MinCol : level.MinRow;
  }
  std::int32_t AcrossLast(const GroupLevel& level) const {
    return down_ ? level.MaxCol : level.MaxRow;
  }

  // Cells from line `first` to `last`, across from `acrossFirst` to `acrossLast`.
  CellRect Cells(std::int32_t first, std::int32_t last, std::int32_t acrossFirst,
                 std::int32_t acrossLast) const {
    return down_ ? CellRect{first, acrossFirst, last, acrossLast}
                 : CellRect{acrossFirst, first, acrossLast, last};
  }
  // Entire worksheet rows (or columns) from `first` to `last`.
  CellRect Entire(std::int32_t first, std::int32_t last) const {
    return down_ ? CellRect{first, 1, last, platform::kMaxColumns}
                 : CellRect{1, first, platform::kMaxRows, last};
  }
  std::int32_t Row(std::int32_t along, std::int32_t across) const { return down_ ? along : across; }
  std::int32_t Column(std::int32_t along, std::int32_t across) const {
    return down_ ? across : along;
  }
  platform::Shift Grow() const { return down_ ? platform::kShiftDown : platform::kShiftToRight; }
  platform::Shift Shrink() const { return down_ ? platform::kShiftUp : platform::kShiftToLeft; }

 private:
  bool down_;
};

// A line number computed from counts that may exceed the 32-bit range.
std::int32_t LineNumber(std::int64_t line) {
  if (line > std::numeric_limits<std::int32_t>::max()) RaiseRuntimeError(kErrOverflow);
  return static_cast<std::int32_t>(line);
}

// One level while the loop runs, in lines along the records' direction.
struct LevelTrack {
  std::int32_t First = 0, Last = 0;              // the current block
  std::int32_t AcrossFirst = 0, AcrossLast = 0;  // fixed: the template block's width
  std::int32_t TemplateStart = 0;                // first line of the template block
  std::int32_t Span = 0;                         // lines of the template block
  std::int32_t SpareStart = 0, SpareEnd = 0;     // the level's block in the spare template
  std::int64_t BlockCount = 0;                   // blocks started after the first one
};

// A record read ahead of the loop, with what the recordset raised reading it or moving past it.
struct ReadRecord {
  std::vector<Variant> Values;
  std::exception_ptr ReadFailure;  // the fields could not be read: the loop ends at this record
  std::exception_ptr MoveFailure;  // MoveNext after it failed: the loop ends after this record
};

// The longest run planned at once, which bounds the records held in memory.
constexpr std::int32_t kMaxRun = 4096;

class GroupFill {
 public:
  GroupFill(TabrixEvents* events, platform::Recordset& recordset, platform::Worksheet& sheet,
            const LevelTable& table, const std::vector<fill::FieldCell>& cells,
            std::vector<fill::ImageOptions>& imageOptions, const FillPlan& plan)
      : events_(events),
        recordset_(recordset),
        sheet_(sheet),
        table_(table),
        cells_(cells),
        imageOptions_(imageOptions),
        plan_(plan),
        lines_(plan.RecordsGoDown),
        groupCount_(table.GroupCount()),
        hasDetail_(!table.Levels.back().KeyFields.empty()),
        flat_(IsFlatLayout(table, plan.RecordsGoDown)),
        uniform_(IsUniformLayout(table)),
        current_(cells.size()),
        previous_(cells.size()) {}

  void Run() {
    Setup();
    for (std::int32_t r = 0; r < plan_.RecordCount; ++r) Record(r);
    Finish();
  }

 private:
  void Setup() {
    if (plan_.HasImageList) imageFolder_ = fill::ImageFolder(sheet_);
    planRuns_ = CanPlanRuns();
    levels_.resize(table_.Levels.size());
    for (std::size_t L = 0; L < levels_.size(); ++L) {
      const GroupLevel& level = table_.Levels[L];
      LevelTrack& track = levels_[L];
      track.First = lines_.First(level);
      track.Last = lines_.Last(level);
      track.AcrossFirst = lines_.AcrossFirst(level);
      track.AcrossLast = lines_.AcrossLast(level);
      track.TemplateStart = track.First;
      track.Span = track.Last - track.First + 1;
      track.SpareStart = track.First;
      track.SpareEnd = track.Last;
    }
    const LevelTrack& outer = levels_.front();
    const std::int64_t n = plan_.RecordCount;

    if (flat_) {
      // Room for every record at once; the last of the n block heights is the spare's place.
      const std::int32_t first = outer.Last + 1;
      const std::int32_t last =
          LineNumber(static_cast<std::int64_t>(outer.Last) + std::int64_t{outer.Span} * n);
      sheet_.InsertCells(plan_.RangeFill
                             ? lines_.Cells(first, last, outer.AcrossFirst, outer.AcrossLast)
                             : lines_.Entire(first, last),
                         lines_.Grow());
      for (LevelTrack& track : levels_) {
        track.SpareStart = LineNumber(track.First + std::int64_t{track.Span} * n);
        track.SpareEnd = track.SpareStart + track.Span - 1;
      }
    }
    if (uniform_ && n >= 2) {
      // The template and n - 1 copies of it in one call.
      const std::int32_t last =
          LineNumber(static_cast<std::int64_t>(outer.Last) + std::int64_t{outer.Span} * (n - 1));
      sheet_.AutoFill(lines_.Cells(outer.First, outer.Last, outer.AcrossFirst, outer.AcrossLast),
                      lines_.Cells(outer.First, last, outer.AcrossFirst, outer.AcrossLast),
                      platform::kFillCopy);
    }
  }

  // Whether runs of records within one group may be planned: one insertion for the run and one
  // fill repeating the record block give what a room and a copy from the spare template per
  // record give. Not so, and every record keeps its own room and copy, when:
  // - the flat and uniform layouts make their room at once already;
  // - every field is a group key (no record block to repeat);
  // - records carry pictures: a picture reaching past its record's lines is moved or stretched
  //   by the insertions made for the records after it, which a run makes before placing it;
  // - a formula of the record block has a relative row (column when records go right) outside
  //   the block or on another sheet: a copy from the spare template moves such a reference by
  //   the record's distance from the spare, which stays the same through a run, while a fill
  //   moves it by the record's distance from the run's first record.
  // Page breaks, records going right, band insertions, merged areas (even those crossing the
  // block's edge), conditional formats, validations, names, charts and array formulas come
  // out the same either way (tests/group/planned_fill_test.cpp).
  bool CanPlanRuns() {
    if (!plan_.PlanRuns || flat_ || uniform_ || !hasDetail_ || plan_.HasImageList) return false;
    const GroupLevel& detail = table_.Levels.back();
    return BlockStaysInside(sheet_,
                            CellRect{detail.MinRow, detail.MinCol, detail.MaxRow, detail.MaxCol},
                            plan_.RecordsGoDown);
  }

  void Record(std::int32_t r) {
    if (events_) events_->FunctionProgress(r + 1, plan_.RecordCount);

    if (ahead_.empty()) ReadAhead();
    ReadRecord record = std::move(ahead_.front());
    ahead_.pop_front();
    if (record.ReadFailure) std::rethrow_exception(record.ReadFailure);
    current_ = std::move(record.Values);

    const std::int32_t b = r == 0 ? 0 : BreakLevel();
    if (b == groupCount_ && !hasDetail_) {
      // Every field is a key and none changed: the record has nothing to write and takes no
      // room; it does not count towards the records of a page either.
      ++skipped_;
      if (record.MoveFailure) std::rethrow_exception(record.MoveFailure);
      return;
    }
    if (runLeft_ > 0) {
      --runLeft_;  // its room and its block came with the run
    } else {
      if (!flat_) MakeRoom(b);
      if (!uniform_) CopyBlock(r, b);
    }
    if (r > 0) MoveBlocks(b);
    if (planRuns_ && runLeft_ == 0) PlanRun(b);
    Write(b);
    PageBreaks(b);

    if (record.MoveFailure) std::rethrow_exception(record.MoveFailure);
    ++recordsSinceBreak_;
  }

  // Reads the recordset's current record into the queue and moves on. A failure is kept with
  // the record and raised when the loop gets there, so the records before it are written first.
  void ReadAhead() {
    ReadRecord record;
    ++recordsRead_;
    try {
      platform::Fields& fields = recordset_.GetFields();
      record.Values.resize(current_.size());
      for (std::size_t f = 0; f < record.Values.size(); ++f)
        record.Values[f] = fill::ReadFieldValue(fields.Item(static_cast<std::int32_t>(f)));
    } catch (...) {
      record.ReadFailure = std::current_exception();
      ahead_.push_back(std::move(record));
      return;
    }
    try {
      recordset_.MoveNext();
    } catch (...) {
      record.MoveFailure = std::current_exception();
    }
    ahead_.push_back(std::move(record));
  }

  // The records after the current one (which broke at level b) that repeat every group key get
  // their room after the current record block in one insertion, and the block is repeated over
  // the room by one fill; those records then only write their values.
  void PlanRun(std::int32_t b) {
    // The keys the next records are compared with (see BreakLevel): the levels from b on take
    // the current record's keys; the levels outside keep theirs.
    std::vector<Variant> keys = previous_;
    for (std::int32_t L = b; L < groupCount_; ++L)
      for (std::int32_t f : table_.Levels[static_cast<std::size_t>(L)].KeyFields)
        keys[static_cast<std::size_t>(f)] = current_[static_cast<std::size_t>(f)];

    std::int32_t run = 0;
    for (std::size_t i = 0; run < kMaxRun; ++i) {
      if (i == ahead_.size()) {
        if (recordsRead_ >= plan_.RecordCount) break;
        ReadAhead();
      }
      const ReadRecord& next = ahead_[i];
      if (next.ReadFailure || !RepeatsKeys(next.Values, keys)) break;
      ++run;
      if (next.MoveFailure) break;
    }
    if (run == 0) return;

    const LevelTrack& detail = levels_.back();
    const LevelTrack& outer = levels_.front();
    const std::int64_t lines = std::int64_t{detail.Span} * run;
    const std::int32_t first = detail.Last + 1;
    const std::int32_t last = LineNumber(detail.Last + lines);
    sheet_.InsertCells(plan_.RangeFill
                           ? lines_.Cells(first, last, outer.AcrossFirst, outer.AcrossLast)
                           : lines_.Entire(first, last),
                       lines_.Grow());
    for (LevelTrack& track : levels_) {
      track.SpareStart = LineNumber(track.SpareStart + lines);
      track.SpareEnd = LineNumber(track.SpareEnd + lines);
    }
    sheet_.AutoFill(lines_.Cells(detail.First, detail.Last, detail.AcrossFirst, detail.AcrossLast),
                    lines_.Cells(detail.First, last, detail.AcrossFirst, detail.AcrossLast),
                    platform::kFillCopy);
    runLeft_ = run;
  }

  bool RepeatsKeys(const std::vector<Variant>& values, const std::vector<Variant>& keys) const {
    for (std::int32_t L = 0; L < groupCount_; ++L)
      for (std::int32_t f : table_.Levels[static_cast<std::size_t>(L)].KeyFields) {
        const auto field = static_cast<std::size_t>(f);
        if (!VariantsEqual(values[field], keys[field])) return false;
      }
    return true;
  }

  // The outermost level with a changed key; the detail level when no key changed.
  std::int32_t BreakLevel() const {
    for (std::int32_t L = 0; L < groupCount_; ++L) {
      for (std::int32_t f : table_.Levels[static_cast<std::size_t>(L)].KeyFields) {
        const auto field = static_cast<std::size_t>(f);
        if (!VariantsEqual(current_[field], previous_[field])) return L;
      }
    }
    return groupCount_;
  }

  // Inserts one block height of level b right after its current block; the spare template
  // moves along.
  void MakeRoom(std::int32_t b) {
    const LevelTrack& level = levels_[static_cast<std::size_t>(b)];
    const LevelTrack& outer = levels_.front();
    const std::int32_t first = level.Last + 1;
    const std::int32_t last = level.Last + level.Span;
    sheet_.InsertCells(plan_.RangeFill
                           ? lines_.Cells(first, last, outer.AcrossFirst, outer.AcrossLast)
                           : lines_.Entire(first, last),
                       lines_.Grow());
    for (LevelTrack& track : levels_) {
      track.SpareStart += level.Span;
      track.SpareEnd += level.Span;
    }
  }

  void CopyBlock(std::int32_t r, std::int32_t b) {
    const LevelTrack& outer = levels_.front();
    if (r > 0) {
      // Level b's block of the spare template into the room after level b's current block.
      const LevelTrack& level = levels_[static_cast<std::size_t>(b)];
      Copy(lines_.Cells(level.SpareStart, level.SpareEnd, level.AcrossFirst, level.AcrossLast),
           level.Last + 1, level.AcrossFirst);
    } else if (flat_) {
      // The spare template into the last of the inserted block heights.
      Copy(lines_.Cells(outer.First, outer.Last, outer.AcrossFirst, outer.AcrossLast),
           outer.SpareStart, outer.AcrossFirst);
    } else {
      // The spare template right after the template, into the room just made.
      Copy(lines_.Cells(outer.TemplateStart, outer.TemplateStart + outer.Span - 1,
                        outer.AcrossFirst, outer.AcrossLast),
           outer.Last + 1, outer.AcrossFirst);
    }
  }

  void Copy(const CellRect& source, std::int32_t destAlong, std::int32_t destAcross) {
    sheet_.CopyCells(source, lines_.Row(destAlong, destAcross), lines_.Column(destAlong, destAcross));
  }

  // Level b moves into its new block, the levels around it grow, the levels inside it take
  // their places in the new block as in the spare template.
  void MoveBlocks(std::int32_t b) {
    LevelTrack& moved = levels_[static_cast<std::size_t>(b)];
    moved.First = moved.Last + 1;
    moved.Last = moved.First + moved.Span - 1;
    ++moved.BlockCount;
    for (std::int32_t L = 0; L < b; ++L) levels_[static_cast<std::size_t>(L)].Last += moved.Span;
    for (std::int32_t L = b + 1; L <= groupCount_; ++L) {
      LevelTrack& inner = levels_[static_cast<std::size_t>(L)];
      const LevelTrack& parent = levels_[static_cast<std::size_t>(L - 1)];
      inner.First = parent.First + inner.SpareStart - parent.SpareStart;
      inner.Last = inner.First + inner.Span - 1;
      ++inner.BlockCount;
    }
  }

  // Fields of level b and of every level inside it, the detail level first. Fields of the outer
  // levels keep what earlier records wrote.
  void Write(std::int32_t b) {
    for (std::int32_t L = groupCount_; L >= b; --L) {
      const LevelTrack& track = levels_[static_cast<std::size_t>(L)];
      for (std::int32_t f : table_.Levels[static_cast<std::size_t>(L)].KeyFields) {
        const auto field = static_cast<std::size_t>(f);
        const fill::FieldCell& cell = cells_[field];
        const std::int32_t along = track.First + lines_.Along(cell) - track.TemplateStart;
        const std::int32_t row = lines_.Row(along, lines_.Across(cell));
        const std::int32_t column = lines_.Column(along, lines_.Across(cell));
        if (cell.IsImage)
          fill::PutFieldImage(sheet_, row, column, current_[field], imageOptions_[field],
                              imageFolder_);
        else
          fill::WriteFieldValue(sheet_, row, column, current_[field]);
        previous_[field] = current_[field];
      }
    }
  }

  void PageBreaks(std::int32_t b) {
    const fill::PageBreakSpec& spec = plan_.PageBreaks;
    const std::int32_t line = levels_[static_cast<std::size_t>(b)].First;
    if (spec.GroupBreakCount > 0) {
      const std::int64_t blocks = levels_[static_cast<std::size_t>(spec.GroupBreakLevel - 1)].BlockCount;
      if (blocks % spec.GroupBreakCount == 0 && blocks > lastBreakCount_) {
        SetPageBreak(line);
        lastBreakCount_ = blocks;
        recordsSinceBreak_ = 0;
      }
    }
    if (spec.RecordsPerPage > 0 && recordsSinceBreak_ > 0 &&
        recordsSinceBreak_ % spec.RecordsPerPage == 0) {
      SetPageBreak(line);
      if (spec.GroupBreakCount > 0)
        lastBreakCount_ = levels_[static_cast<std::size_t>(spec.GroupBreakLevel - 1)].BlockCount;
      recordsSinceBreak_ = 0;
    }
  }

  void SetPageBreak(std::int32_t line) {
    if (plan_.RecordsGoDown)
      fill::SetRowPageBreak(sheet_, line);
    else
      fill::SetColumnPageBreak(sheet_, line);
  }

  // The spare template goes; in the uniform layout its place holds blank inserted lines. In
  // the flat layout the room made for records that were skipped (see Record) lies between the
  // table and the spare template and goes with it.
  void Finish() {
    const LevelTrack& outer = levels_.front();
    const std::int32_t first = skipped_ > 0 ? outer.Last + 1 : outer.SpareStart;
    sheet_.DeleteCells(plan_.RangeFill
                           ? lines_.Cells(first, outer.SpareEnd, outer.AcrossFirst, outer.AcrossLast)
                           : lines_.Entire(first, outer.SpareEnd),
                       lines_.Shrink());
  }

  TabrixEvents* events_;
  platform::Recordset& recordset_;
  platform::Worksheet& sheet_;
  const LevelTable& table_;
  const std::vector<fill::FieldCell>& cells_;
  std::vector<fill::ImageOptions>& imageOptions_;
  const FillPlan& plan_;
  const Lines lines_;
  const std::int32_t groupCount_;
  const bool hasDetail_;  // false when every field is a group key
  const bool flat_;
  const bool uniform_;
  bool planRuns_ = false;

  std::vector<LevelTrack> levels_;
  std::vector<Variant> current_;
  std::vector<Variant> previous_;
  std::string imageFolder_;
  std::int64_t lastBreakCount_ = 0;
  std::int64_t recordsSinceBreak_ = 0;
  std::int64_t skipped_ = 0;  // records that repeated every key without detail fields
  std::deque<ReadRecord> ahead_;    // records read and not yet written
  std::int32_t recordsRead_ = 0;
  std::int32_t runLeft_ = 0;        // records of the planned run still to write
};

}  // namespace

void FillGroups(TabrixEvents* events, platform::Recordset& recordset, platform::Worksheet& sheet,
                const LevelTable& table, const std::vector<fill::FieldCell>& cells,
                std::vector<fill::ImageOptions>& imageOptions, const FillPlan& plan) {
  GroupFill(events, recordset, sheet, table, cells, imageOptions, plan).Run();
}

}  // namespace tabrix::group
