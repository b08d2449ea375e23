// Line-by-line reading of the UTF-8 text files the library reads (definition file,
// fmtconv.cfg): a leading UTF-8 byte-order mark is skipped, lines end with LF or CR LF.
#pragma once

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix {

class TextLineReader {
 public:
  static constexpr std::size_t kWholeLine = std::numeric_limits<std::size_t>::max();

  TextLineReader() = default;
  ~TextLineReader();
  TextLineReader(const TextLineReader&) = delete;
  TextLineReader& operator=(const TextLineReader&) = delete;

  // Opens a file for reading; false when it cannot be opened or is a folder.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // Size in bytes of the open file.
  std::uint64_t FileSize() const { return size_; }

  // Reads the next line without its line end. False at the end of the file or after a read
  // error (see Failed). A line longer than `keep` bytes is shortened to its first `keep` bytes
  // followed by the last non-blank character of the dropped part, if any: enough to read a key,
  // the beginning of its value and whether the value ends in a quote, in bounded memory.
  bool ReadLine(std::string& line, std::size_t keep = kWholeLine);
  // True when reading stopped on an error rather than at the end of the file.
  bool Failed() const { return failed_; }

 private:
  bool Fill();

  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  bool failed_ = false;
  bool atEnd_ = false;
  bool firstLine_ = true;
  char buffer_[1 << 16];
  std::size_t begin_ = 0, end_ = 0;
};

// Splits text read whole into lines the way TextLineReader reads them: a leading UTF-8
// byte-order mark is skipped, lines end with LF or CR LF.
std::vector<std::string> SplitTextLines(std::string_view text);

}  // namespace tabrix
