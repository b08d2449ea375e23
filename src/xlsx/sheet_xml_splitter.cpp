// Splitting a worksheet part into its rows and the rest: a scanner of XML markup (tags, comments,
// CDATA, processing instructions) that counts element depth to find where children of
// <sheetData> end. It checks no more than it needs: pugixml parses both halves afterwards.
#include "xlsx/sheet_xml_splitter.h"

#include <algorithm>
#include <cctype>

#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The end of the markup opened at text[0] and closed by `close`, or npos.
std::size_t EndOf(std::string_view text, std::string_view close, std::size_t from) {
  const std::size_t at = text.find(close, from);
  return at == npos ? npos : at + close.size();
}

// A declaration naming an encoding other than UTF-8 (pugixml would convert the text).
bool ForeignEncoding(std::string_view declaration) {
  const std::size_t at = declaration.find("encoding");
  if (at == npos) return false;
  const std::size_t quote = declaration.find_first_of("\"'", at);
  if (quote == npos) return true;
  const std::size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == npos) return true;
  std::string name(declaration.substr(quote + 1, close - quote - 1));
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name != "utf-8" && name != "utf8";
}

}  // namespace

SheetXmlSplitter::SheetXmlSplitter(RowsHandler handler, std::size_t sliceSize)
    : handler_(std::move(handler)), sliceSize_(sliceSize) {}

bool SheetXmlSplitter::Feed(std::string_view bytes) {
  if (phase_ == Phase::kFailed) return false;
  if (offset_ == 0 && buffer_.empty()) {
    // UTF-16 or UTF-32 text (a byte order mark or zero bytes) is left to pugixml's conversion.
    const std::string_view start = bytes.substr(0, 4);
    if (!start.empty() && (start[0] == '\xFE' || start[0] == '\xFF' || start.find('\0') != npos)) {
      phase_ = Phase::kFailed;
      return false;
    }
  }
  buffer_.append(bytes);
  Scan(false);
  return phase_ != Phase::kFailed;
}

bool SheetXmlSplitter::Finish() {
  if (phase_ != Phase::kFailed) Scan(true);
  if (phase_ == Phase::kRows) phase_ = Phase::kFailed;  // <sheetData> never closed
  if (phase_ == Phase::kFailed) return false;
  rest_ += buffer_;
  std::string().swap(buffer_);
  return true;
}

void SheetXmlSplitter::Scan(bool last) {
  while (phase_ != Phase::kFailed) {
    const std::size_t open = buffer_.find('<', pos_);
    if (open == npos) {
      pos_ = buffer_.size();
      break;
    }
    pos_ = open;
    if (!Token(last)) break;
    if (phase_ == Phase::kRows && boundary_ >= sliceSize_) HandOut(boundary_);
  }
  if (phase_ == Phase::kBefore || phase_ == Phase::kAfter) {
    rest_.append(buffer_, 0, pos_);
    buffer_.erase(0, pos_);
    offset_ += pos_;
    pos_ = 0;
  }
}

bool SheetXmlSplitter::Token(bool last) {
  const std::string_view text = std::string_view(buffer_).substr(pos_);
  auto incomplete = [&] {
    if (last) phase_ = Phase::kFailed;
    return false;
  };
  auto startsWith = [&](std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; };
  // Markup that starts like a comment or CDATA section may only be told apart once complete.
  if (text.size() < 9 && (std::string_view("<![CDATA[").substr(0, text.size()) == text ||
                          std::string_view("<!--").substr(0, text.size()) == text))
    return incomplete();
  std::size_t end = npos;
  if (startsWith("<!--")) {
    end = EndOf(text, "-->", 4);
  } else if (startsWith("<![CDATA[")) {
    end = EndOf(text, "]]>", 9);
  } else if (startsWith("<?")) {
    end = EndOf(text, "?>", 2);
    if (end != npos && phase_ == Phase::kBefore && depth_ == 0 && ForeignEncoding(text.substr(0, end))) {
      phase_ = Phase::kFailed;
      return false;
    }
  } else if (startsWith("<!")) {
    phase_ = Phase::kFailed;  // a document type declaration: entities are pugixml's business
    return false;
  } else if (startsWith("</")) {
    end = EndOf(text, ">", 2);
    if (end == npos) return incomplete();
    if (--depth_ < 0) {
      phase_ = Phase::kFailed;
      return false;
    }
    if (phase_ == Phase::kRows && depth_ == 1) {  // </sheetData>
      HandOut(pos_);
      if (phase_ == Phase::kFailed) return false;
      phase_ = Phase::kAfter;
    } else if (phase_ == Phase::kRows && depth_ == 2) {
      boundary_ = pos_ + end;
    }
  } else {
    // A start tag: '>' inside a quoted attribute value does not end it.
    char quote = 0;
    for (std::size_t i = 1; i < text.size(); ++i) {
      const char c = text[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        end = i + 1;
        break;
      }
    }
    if (end == npos) return incomplete();
    const bool empty = text[end - 2] == '/';
    const std::size_t nameEnd = std::min(text.find_first_of(" \t\r\n/>", 1), end);
    const std::string name(text.substr(1, nameEnd - 1));
    if (phase_ == Phase::kBefore && depth_ == 1 && !sheetDataSeen_ && LocalName(name.c_str()) == "sheetData") {
      sheetDataSeen_ = true;
      if (!empty) {
        ++depth_;
        pos_ += end;
        rest_.append(buffer_, 0, pos_);
        buffer_.erase(0, pos_);
        offset_ += pos_;
        pos_ = 0;
        boundary_ = 0;
        phase_ = Phase::kRows;
        return true;
      }
    }
    if (!empty) ++depth_;
    else if (phase_ == Phase::kRows && depth_ == 2) boundary_ = pos_ + end;
  }
  if (end == npos) return incomplete();
  pos_ += end;
  return true;
}

void SheetXmlSplitter::HandOut(std::size_t end) {
  std::string slice = buffer_.substr(0, end);
  buffer_.erase(0, end);
  const std::uint64_t at = offset_;
  offset_ += end;
  pos_ -= end;
  boundary_ = boundary_ > end ? boundary_ - end : 0;
  if (!slice.empty() && !handler_(slice, at)) phase_ = Phase::kFailed;
}

}  // namespace tabrix::xlsx
