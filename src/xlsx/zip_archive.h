// Reading and writing the zip container of a workbook package.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tabrix::xlsx {

// Largest inflated size accepted for one part; a larger part is treated as malformed input.
inline constexpr std::uint64_t kMaxPartSize = 1ull << 30;
// Largest number of entries accepted in one package.
inline constexpr std::uint64_t kMaxPartCount = 100000;

// A part compressed already (raw deflate), with what the zip entry records of its text. Large
// compressed bytes wait in an unnamed temporary file instead of memory.
struct DeflatedPart {
  std::string compressed;       // the compressed bytes, unless `file` holds them
  std::shared_ptr<FILE> file;   // the compressed bytes of a large part
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  std::uint32_t crc = 0;
};

// The parts of a package, by name, in the order they appeared in the archive. A part written
// deflated has an empty text in `data` and its compressed bytes in `deflated`.
struct PackageParts {
  std::vector<std::string> order;
  std::map<std::string, std::string> data;
  std::map<std::string, DeflatedPart> deflated;

  bool Has(const std::string& name) const { return data.count(name) != 0; }
  // Adds or replaces a part (new parts go to the end of the order).
  void Put(const std::string& name, std::string bytes);
  void PutDeflated(const std::string& name, DeflatedPart part);
  void Remove(const std::string& name);
};

// Text of a large part deflated as it is written (at the fastest level), so that a sheet of a
// million rows never has its whole XML in memory: append to Buffer(), call Spill() now and then.
class StreamedPart {
 public:
  StreamedPart();
  ~StreamedPart();
  StreamedPart(const StreamedPart&) = delete;
  StreamedPart& operator=(const StreamedPart&) = delete;

  std::string& Buffer() { return buffer_; }
  // Deflates the buffered text once enough has gathered.
  void Spill() {
    if (buffer_.size() >= kSpillSize) Deflate(false);
  }
  DeflatedPart Finish();

 private:
  static constexpr std::size_t kSpillSize = 1 << 20;
  static constexpr std::size_t kKeptSize = 4 << 20;  // compressed bytes kept in memory
  void Deflate(bool last);
  void MoveToFile();

  struct Stream;
  std::unique_ptr<Stream> stream_;
  std::string buffer_;
  DeflatedPart part_;
};

// Reads every part of the zip file. Throws std::runtime_error with a description of the
// problem (not a zip file, damaged entry, part too large). With `keepLargeCompressed`, XML parts
// of kInflatedLater bytes or more stay deflated (in `deflated`, with an empty text) for their
// reader to inflate as it goes (InflatePart).
inline constexpr std::uint64_t kInflatedLater = 8u << 20;
PackageParts ReadZipFile(const std::string& path, bool keepLargeCompressed = false);

// Inflates a part ReadZipFile kept deflated, handing out its text in consecutive pieces until it
// ends or `piece` returns false. Throws std::runtime_error, as ReadZipFile does, on damaged data,
// a wrong checksum or a text past kMaxPartSize.
void InflatePart(const std::string& name, const DeflatedPart& part,
                 const std::function<bool(std::string_view)>& piece);

// Writes the parts as a zip file at `path` (replacing it). `fastParts` are compressed with the
// fastest level (large sheet data); everything else with the default level.
void WriteZipFile(const std::string& path, const PackageParts& parts,
                  const std::vector<std::string>& fastParts);

}  // namespace tabrix::xlsx
