// Reading and writing the zip container of a workbook package, with limits on part count and
// size.
#include "xlsx/zip_archive.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace tabrix::xlsx {

void PackageParts::Put(const std::string& name, std::string bytes) {
  auto it = data.find(name);
  if (it == data.end()) order.push_back(name);
  data[name] = std::move(bytes);
  deflated.erase(name);
}

void PackageParts::PutDeflated(const std::string& name, DeflatedPart part) {
  Put(name, std::string());
  deflated[name] = std::move(part);
}

void PackageParts::Remove(const std::string& name) {
  deflated.erase(name);
  if (data.erase(name) == 0) return;
  order.erase(std::remove(order.begin(), order.end(), name), order.end());
}

namespace {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct FileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

std::string OpenErrorText(int code) {
  switch (code) {
    case ZIP_ER_NOZIP: return "the file is not a zip package";
    case ZIP_ER_NOENT: return "the file does not exist";
    case ZIP_ER_OPEN: return "the file cannot be opened";
    case ZIP_ER_READ: return "the file cannot be read";
    case ZIP_ER_INCONS: return "the zip package is damaged";
    case ZIP_ER_MEMORY: return "out of memory";
    default: {
      zip_error_t error;
      zip_error_init_with_code(&error, code);
      std::string text = zip_error_strerror(&error);
      zip_error_fini(&error);
      return text;
    }
  }
}

// A zip source handing libzip data that is deflated already (by libdeflate, which is several
// times faster than zlib at its fastest level): libzip copies it as it stands.
struct DeflatedData {
  std::unique_ptr<char[]> buffer;  // not zero-filled: it is written by the compressor (none
                                   // for a part deflated while it was written)
  std::string_view compressed;     // the bytes, unless they are in `file`
  FILE* file = nullptr;
  zip_uint64_t compressedSize = 0;
  zip_uint64_t size = 0;
  zip_uint32_t crc = 0;
  zip_uint64_t offset = 0;
  zip_error_t error;
};

zip_int64_t DeflatedSource(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto* source = static_cast<DeflatedData*>(userdata);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      source->offset = 0;
      if (source->file && std::fseek(source->file, 0, SEEK_SET) != 0) {
        zip_error_set(&source->error, ZIP_ER_READ, errno);
        return -1;
      }
      return 0;
    case ZIP_SOURCE_READ: {
      zip_uint64_t left = source->compressedSize - source->offset;
      auto n = static_cast<std::size_t>(std::min(left, length));
      if (source->file) {
        if (std::fread(data, 1, n, source->file) != n) {
          zip_error_set(&source->error, ZIP_ER_READ, errno);
          return -1;
        }
      } else {
        std::memcpy(data, source->compressed.data() + source->offset, n);
      }
      source->offset += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* stat = static_cast<zip_stat_t*>(data);
      zip_stat_init(stat);
      stat->size = source->size;
      stat->comp_size = source->compressedSize;
      stat->crc = source->crc;
      stat->comp_method = ZIP_CM_DEFLATE;
      stat->mtime = time(nullptr);
      stat->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD | ZIP_STAT_MTIME;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&source->error, data, length);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&source->error);
      delete source;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

}  // namespace

// igzip keeps its state between calls (libdeflate needs the whole text at once) and is faster
// still at level 1.
struct StreamedPart::Stream {
  isal_zstream z;
  std::unique_ptr<std::uint8_t[]> levelBuffer{new std::uint8_t[ISAL_DEF_LVL1_DEFAULT]};
};

StreamedPart::StreamedPart() : stream_(new Stream) {
  isal_deflate_init(&stream_->z);
  stream_->z.level = 1;
  stream_->z.level_buf = stream_->levelBuffer.get();
  stream_->z.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
  stream_->z.flush = NO_FLUSH;
  buffer_.reserve(kSpillSize + (kSpillSize >> 2));
}

StreamedPart::~StreamedPart() = default;

void StreamedPart::Deflate(bool last) {
  isal_zstream& z = stream_->z;
  part_.size += buffer_.size();
  part_.crc = static_cast<std::uint32_t>(libdeflate_crc32(part_.crc, buffer_.data(), buffer_.size()));
  z.next_in = reinterpret_cast<std::uint8_t*>(buffer_.data());
  z.avail_in = static_cast<std::uint32_t>(buffer_.size());
  z.end_of_stream = last ? 1 : 0;
  std::string& out = part_.compressed;
  do {
    const std::size_t used = out.size();
    const std::size_t room = std::max<std::size_t>(buffer_.size() / 2, 1 << 16);
    out.resize(used + room);
    z.next_out = reinterpret_cast<std::uint8_t*>(out.data() + used);
    z.avail_out = static_cast<std::uint32_t>(room);
    if (isal_deflate(&z) != COMP_OK) throw std::runtime_error("the part cannot be compressed");
    out.resize(used + room - z.avail_out);
  } while (z.avail_in > 0 || (last && z.internal_state.state != ZSTATE_END));
  buffer_.clear();
  if (out.size() >= kKeptSize || (part_.file && !out.empty())) MoveToFile();
}

void StreamedPart::MoveToFile() {
  if (!part_.file) {
    FILE* file = std::tmpfile();
    if (!file) return;  // no temporary file: the bytes stay in memory
    part_.file.reset(file, [](FILE* f) { std::fclose(f); });
  }
  if (std::fwrite(part_.compressed.data(), 1, part_.compressed.size(), part_.file.get()) !=
      part_.compressed.size())
    throw std::runtime_error("the part cannot be written to a temporary file");
  part_.compressedSize += part_.compressed.size();
  part_.compressed.clear();
}

DeflatedPart StreamedPart::Finish() {
  Deflate(true);
  if (part_.file) {
    if (std::fflush(part_.file.get()) != 0) throw std::runtime_error("the part cannot be written to a temporary file");
  } else {
    part_.compressedSize = part_.compressed.size();
    part_.compressed.shrink_to_fit();
  }
  return std::move(part_);
}

void InflatePart(const std::string& name, const DeflatedPart& part,
                 const std::function<bool(std::string_view)>& piece) {
  auto damaged = [&](const char* what) { throw std::runtime_error("the part " + name + " is damaged (" + what + ")"); };
  inflate_state state;
  isal_inflate_init(&state);
  state.crc_flag = ISAL_DEFLATE;
  const auto* in = reinterpret_cast<const std::uint8_t*>(part.compressed.data());
  std::size_t inLeft = part.compressed.size();
  std::string out(std::size_t{1} << 20, '\0');
  std::uint64_t total = 0;
  std::uint32_t crc = 0;
  for (;;) {
    if (state.avail_in == 0 && inLeft > 0) {
      const std::size_t step = std::min<std::size_t>(inLeft, std::size_t{1} << 30);
      state.next_in = const_cast<std::uint8_t*>(in);
      state.avail_in = static_cast<std::uint32_t>(step);
      in += step;
      inLeft -= step;
    }
    state.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    state.avail_out = static_cast<std::uint32_t>(out.size());
    if (isal_inflate(&state) < 0) damaged("Compression error");
    const std::size_t got = out.size() - state.avail_out;
    total += got;
    if (total > kMaxPartSize) throw std::runtime_error("the part " + name + " inflates past the size limit");
    crc = static_cast<std::uint32_t>(libdeflate_crc32(crc, out.data(), got));
    if (got > 0 && !piece(std::string_view(out.data(), got))) return;
    if (state.block_state == ISAL_BLOCK_FINISH) break;
    if (got == 0 && state.avail_in == 0 && inLeft == 0) damaged("Compression error");
  }
  if (total != part.size || crc != part.crc) damaged("CRC error");
}

PackageParts ReadZipFile(const std::string& path, bool keepLargeCompressed) {
  int code = 0;
  std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &code));
  if (!archive) throw std::runtime_error(OpenErrorText(code));

  PackageParts parts;
  zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > kMaxPartCount)
    throw std::runtime_error("the zip package has too many entries");
  std::uint64_t total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive.get(), i, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
      throw std::runtime_error("the zip package is damaged");
    std::string name = stat.name;
    if (!name.empty() && name.back() == '/') continue;  // folder entry
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > kMaxPartSize)
      throw std::runtime_error("the part " + name + " inflates past the size limit");
    // A large XML part (the rows of a big sheet) stays compressed: its reader inflates it as it
    // goes instead of holding its whole text.
    constexpr zip_uint64_t kKnown = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
    const bool compressed = keepLargeCompressed && (stat.valid & kKnown) == kKnown && stat.size >= kInflatedLater &&
                            stat.comp_method == ZIP_CM_DEFLATE &&
                            (!(stat.valid & ZIP_STAT_ENCRYPTION_METHOD) || stat.encryption_method == ZIP_EM_NONE) &&
                            name.size() > 4 &&
                            name.compare(name.size() - 4, 4, ".xml") == 0 && name != "[Content_Types].xml";
    std::unique_ptr<zip_file_t, FileCloser> file(
        zip_fopen_index(archive.get(), i, compressed ? ZIP_FL_COMPRESSED : 0));
    if (!file)
      throw std::runtime_error("the part " + name + " cannot be read (" +
                               zip_strerror(archive.get()) + ")");
    std::string bytes;
    if (stat.valid & ZIP_STAT_SIZE) bytes.reserve(static_cast<std::size_t>(stat.size));
    char buffer[65536];
    for (;;) {
      zip_int64_t got = zip_fread(file.get(), buffer, sizeof buffer);
      if (got < 0)
        throw std::runtime_error("the part " + name + " is damaged (" +
                                 zip_file_strerror(file.get()) + ")");
      if (got == 0) break;
      bytes.append(buffer, static_cast<std::size_t>(got));
      // The declared size is not trusted: stop reading as soon as the limit is passed.
      if (bytes.size() > kMaxPartSize || total + bytes.size() > 4 * kMaxPartSize)
        throw std::runtime_error("the part " + name + " inflates past the size limit");
    }
    total += compressed ? stat.size : bytes.size();
    if (compressed) {
      DeflatedPart part;
      part.compressed = std::move(bytes);
      part.compressedSize = part.compressed.size();
      part.size = stat.size;
      part.crc = stat.crc;
      parts.PutDeflated(name, std::move(part));
    } else {
      parts.Put(name, std::move(bytes));
    }
  }
  return parts;
}

void WriteZipFile(const std::string& path, const PackageParts& parts,
                  const std::vector<std::string>& fastParts) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (!archive) throw std::runtime_error("cannot create " + path + ": " + OpenErrorText(code));
  auto fail = [&](const std::string& what) {
    std::string text = what + ": " + zip_strerror(archive);
    zip_discard(archive);
    throw std::runtime_error(text);
  };
  // [Content_Types].xml goes first, as readers expect.
  std::vector<const std::string*> names;
  auto contentTypes = parts.data.find("[Content_Types].xml");
  if (contentTypes != parts.data.end()) names.push_back(&contentTypes->first);
  for (const auto& name : parts.order)
    if (name != "[Content_Types].xml") names.push_back(&name);
  std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor;
  for (const std::string* name : names) {
    const std::string& bytes = parts.data.at(*name);
    bool fast = std::find(fastParts.begin(), fastParts.end(), *name) != fastParts.end();
    zip_source_t* source = nullptr;
    if (auto done = parts.deflated.find(*name); done != parts.deflated.end()) {
      fast = true;
      auto* deflated = new DeflatedData;
      zip_error_init(&deflated->error);
      deflated->size = done->second.size;
      deflated->crc = done->second.crc;
      deflated->compressed = done->second.compressed;
      deflated->file = done->second.file.get();
      deflated->compressedSize = done->second.compressedSize;
      source = zip_source_function(archive, DeflatedSource, deflated);
      if (!source) {
        zip_error_fini(&deflated->error);
        delete deflated;
        fail("cannot add " + *name);
      }
    } else if (fast && bytes.size() > 4096) {
      if (!compressor) compressor.reset(libdeflate_alloc_compressor(1));
      if (!compressor) fail("out of memory");
      auto* deflated = new DeflatedData;
      zip_error_init(&deflated->error);
      deflated->size = bytes.size();
      deflated->crc = static_cast<zip_uint32_t>(libdeflate_crc32(0, bytes.data(), bytes.size()));
      std::size_t bound = libdeflate_deflate_compress_bound(compressor.get(), bytes.size());
      deflated->buffer.reset(new char[bound]);
      std::size_t n = libdeflate_deflate_compress(compressor.get(), bytes.data(), bytes.size(),
                                                  deflated->buffer.get(), bound);
      deflated->compressed = std::string_view(deflated->buffer.get(), n);
      deflated->compressedSize = n;
      source = n ? zip_source_function(archive, DeflatedSource, deflated) : nullptr;
      if (!source) {
        zip_error_fini(&deflated->error);
        delete deflated;
      }
    }
    if (!source) source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    if (!source) fail("cannot add " + *name);
    zip_int64_t index = zip_file_add(archive, name->c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      fail("cannot add " + *name);
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, fast ? 1 : 6);
  }
  if (zip_close(archive) != 0) fail("cannot write " + path);
}

}  // namespace tabrix::xlsx
