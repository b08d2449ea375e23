// Line-by-line reading of the library's UTF-8 text files (definition file, fmtconv.cfg).
#include "support/text_lines.h"

#include <sys/stat.h>

#include <cstring>

namespace tabrix {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

TextLineReader::~TextLineReader() { Close(); }

bool TextLineReader::Open(const std::string& path) {
  Close();
  failed_ = atEnd_ = false;
  firstLine_ = true;
  begin_ = end_ = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  struct stat info {};
  if (::fstat(::fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(file);
    return false;
  }
  file_ = file;
  size_ = static_cast<std::uint64_t>(info.st_size);
  return true;
}

void TextLineReader::Close() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

bool TextLineReader::Fill() {
  if (!file_ || atEnd_) return false;
  begin_ = 0;
  end_ = std::fread(buffer_, 1, sizeof buffer_, file_);
  if (end_ == 0) {
    atEnd_ = true;
    if (std::ferror(file_)) failed_ = true;
    return false;
  }
  return true;
}

bool TextLineReader::ReadLine(std::string& line, std::size_t keep) {
  line.clear();
  if (!file_ || failed_) return false;
  if (begin_ == end_ && !Fill()) return false;

  if (firstLine_) {
    firstLine_ = false;
    // The byte-order mark may straddle a buffer end only in a file shorter than three bytes.
    if (end_ - begin_ >= 3 && std::memcmp(buffer_ + begin_, "\xEF\xBB\xBF", 3) == 0) begin_ += 3;
    if (begin_ == end_ && !Fill()) return false;
  }

  std::size_t total = 0;
  char lastDropped = 0;  // last non-blank character beyond `keep`
  for (;;) {
    const char* start = buffer_ + begin_;
    const char* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
    const std::size_t length = newline ? static_cast<std::size_t>(newline - start) : end_ - begin_;
    // Append what fits, remember the tail's last non-blank character.
    const std::size_t room = total < keep ? keep - total : 0;
    const std::size_t taken = length < room ? length : room;
    line.append(start, taken);
    for (std::size_t i = length; i > taken; --i) {
      if (!IsBlank(start[i - 1])) {
        lastDropped = start[i - 1];
        break;
      }
    }
    total += length;
    begin_ += length;
    if (newline) {
      ++begin_;
      break;
    }
    if (!Fill()) {
      if (failed_) return false;
      break;  // last line without a line end
    }
  }
  if (total > keep) {
    // A CR of the line end may have been kept: drop it before the tail character.
    if (lastDropped) line += lastDropped;
  } else if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return true;
}

std::vector<std::string> SplitTextLines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

}  // namespace tabrix
