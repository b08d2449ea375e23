// Splits a worksheet part's text, as it goes by, into the rows of <sheetData> (handed out in
// slices of whole rows) and the rest of the part (kept for pugixml), so that the rows of a large
// sheet never become one XML tree. It gives up on anything it is unsure of; the caller then
// reads the part whole.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tabrix::xlsx {

class SheetXmlSplitter {
 public:
  // Called with the text of consecutive whole children of <sheetData> and its offset in the
  // part; returns false when the text is not good XML (the splitter gives up).
  using RowsHandler = std::function<bool(std::string_view rows, std::uint64_t offset)>;

  explicit SheetXmlSplitter(RowsHandler handler, std::size_t sliceSize = std::size_t{1} << 20);

  // Feeds the next bytes of the part; false once the splitter has given up.
  bool Feed(std::string_view bytes);
  // After the last bytes: false when the splitter gave up or the rows never ended.
  bool Finish();
  // The part with the content of <sheetData> cut out.
  std::string& Rest() { return rest_; }

 private:
  enum class Phase { kBefore, kRows, kAfter, kFailed };
  void Scan(bool last);
  // Handles the markup at pos_; false when it is not complete in the buffer yet.
  bool Token(bool last);
  void HandOut(std::size_t end);

  RowsHandler handler_;
  std::size_t sliceSize_;
  Phase phase_ = Phase::kBefore;
  std::string buffer_;        // bytes not yet moved to rest_ or handed out
  std::size_t pos_ = 0;       // scanning position in buffer_
  std::size_t boundary_ = 0;  // in kRows: end of the last whole child of <sheetData>
  std::uint64_t offset_ = 0;  // offset of buffer_[0] in the part
  int depth_ = 0;             // open elements
  bool sheetDataSeen_ = false;
  std::string rest_;
};

}  // namespace tabrix::xlsx
