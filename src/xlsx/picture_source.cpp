// Picture loading for AddPicture: reads the bytes from a path or URL (http and https through
// libcurl, with a timeout and a size limit), finds the format and own size from each header, and
// makes the PNG that the package holds for WebP (decoded with libwebp) and SVG (drawn by librsvg).
#include "xlsx/picture_source.h"

#include <curl/curl.h>
#include <librsvg/rsvg.h>
#include <webp/decode.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace tabrix::xlsx {

namespace {

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ReadFile(const std::string& path, const std::string& shown,
                     const std::function<void(const std::string&)>& fail) {
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error))
    fail("the specified file wasn't found: \"" + shown + "\".");
  std::ifstream in(path, std::ios::binary);
  auto size = std::filesystem::file_size(path, error);
  if (!in || error) fail("the file \"" + shown + "\" cannot be read.");
  if (size > kMaxPictureFileBytes)
    fail("the file \"" + shown + "\" is larger than " + std::to_string(kMaxPictureFileBytes >> 20) + " MiB.");
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  if (!in) fail("the file \"" + shown + "\" cannot be read.");
  return bytes;
}

struct Download {
  std::string bytes;
  bool tooLarge = false;
};

std::size_t Received(char* data, std::size_t size, std::size_t count, void* user) {
  auto* download = static_cast<Download*>(user);
  const std::size_t length = size * count;
  if (download->bytes.size() + length > kMaxPictureFileBytes) {
    download->tooLarge = true;
    return 0;  // ends the transfer
  }
  download->bytes.append(data, length);
  return length;
}

std::string Fetch(const std::string& url, const std::function<void(const std::string&)>& fail) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) fail("the picture \"" + url + "\" cannot be fetched.");
  Download download;
  char message[CURL_ERROR_SIZE] = "";
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, kPictureFetchTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxPictureFileBytes));
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Received);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &download);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, message);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "Tabrix");
  const CURLcode result = curl_easy_perform(handle);
  if (download.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
    fail("the picture \"" + url + "\" is larger than " + std::to_string(kMaxPictureFileBytes >> 20) + " MiB.");
  if (result != CURLE_OK)
    fail("the picture \"" + url + "\" cannot be fetched: " +
         (message[0] ? std::string(message) : std::string(curl_easy_strerror(result))) + ".");
  return std::move(download.bytes);
}

std::uint32_t BigEndian32(const unsigned char* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
std::uint32_t LittleEndian32(const unsigned char* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t LittleEndian16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// Own size in points from pixels at a resolution (96 dpi when none is recorded).
void SetSize(PreparedPicture& picture, double width, double height, double dpiX, double dpiY) {
  if (!(dpiX >= 1) || !(dpiY >= 1)) dpiX = dpiY = 96;
  picture.widthPoints = width * 72.0 / dpiX;
  picture.heightPoints = height * 72.0 / dpiY;
}

// PNG, JPEG, GIF and BMP: the size through stb_image, the resolution from the header.
bool InspectRaster(PreparedPicture& picture) {
  const auto* data = reinterpret_cast<const unsigned char*>(picture.bytes.data());
  const std::size_t size = picture.bytes.size();
  double dpiX = 96, dpiY = 96;
  if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) {
    picture.extension = "png";
    picture.contentType = "image/png";
    // pHYs: pixels per unit, unit 1 = metre.
    for (std::size_t at = 8; at + 12 <= size;) {
      std::uint32_t length = BigEndian32(data + at);
      if (std::memcmp(data + at + 4, "pHYs", 4) == 0 && length >= 9 && at + 17 <= size && data[at + 16] == 1) {
        // Resolutions are stored per metre; 3780 means 96 dots per inch.
        dpiX = std::round(BigEndian32(data + at + 8) * 0.0254);
        dpiY = std::round(BigEndian32(data + at + 12) * 0.0254);
      }
      if (std::memcmp(data + at + 4, "IDAT", 4) == 0) break;
      at += 12 + static_cast<std::size_t>(length);
    }
  } else if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) {
    picture.extension = "jpeg";
    picture.contentType = "image/jpeg";
    // JFIF header: density units 1 = dots per inch, 2 = dots per centimetre.
    if (size >= 18 && std::memcmp(data + 6, "JFIF", 4) == 0) {
      int units = data[13];
      double x = (data[14] << 8) | data[15], y = (data[16] << 8) | data[17];
      if (units == 1 && x > 0 && y > 0) {
        dpiX = x;
        dpiY = y;
      } else if (units == 2 && x > 0 && y > 0) {
        dpiX = x * 2.54;
        dpiY = y * 2.54;
      }
    }
  } else if (size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0)) {
    picture.extension = "gif";
    picture.contentType = "image/gif";
  } else if (size >= 2 && data[0] == 'B' && data[1] == 'M') {
    picture.extension = "bmp";
    picture.contentType = "image/bmp";
    if (size >= 46) {
      auto x = static_cast<std::int32_t>(LittleEndian32(data + 38)), y = static_cast<std::int32_t>(LittleEndian32(data + 42));
      if (x > 0 && y > 0) {
        dpiX = std::round(x * 0.0254);
        dpiY = std::round(y * 0.0254);
      }
    }
  } else {
    return false;
  }
  int width = 0, height = 0, components = 0;
  if (size > static_cast<std::size_t>(INT32_MAX) ||
      !stbi_info_from_memory(data, static_cast<int>(size), &width, &height, &components) || width <= 0 || height <= 0)
    return false;
  SetSize(picture, width, height, dpiX, dpiY);
  return true;
}

// TIFF: the first image's width, length and resolution tags.
bool InspectTiff(PreparedPicture& picture) {
  const auto* data = reinterpret_cast<const unsigned char*>(picture.bytes.data());
  const std::size_t size = picture.bytes.size();
  if (size < 8) return false;
  const bool little = std::memcmp(data, "II*\0", 4) == 0;
  if (!little && std::memcmp(data, "MM\0*", 4) != 0) return false;
  auto u16 = [&](std::size_t at) -> std::uint32_t {
    return little ? LittleEndian16(data + at) : static_cast<std::uint16_t>((data[at] << 8) | data[at + 1]);
  };
  auto u32 = [&](std::size_t at) -> std::uint32_t { return little ? LittleEndian32(data + at) : BigEndian32(data + at); };
  const std::size_t ifd = u32(4);
  if (ifd + 2 > size) return false;
  const std::uint32_t count = u16(ifd);
  double width = 0, height = 0, resolutionX = 0, resolutionY = 0;
  int unit = 2;  // inches
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t entry = ifd + 2 + 12 * std::size_t(i);
    if (entry + 12 > size) return false;
    const std::uint32_t tag = u16(entry), type = u16(entry + 2);
    auto value = [&]() -> double { return type == 3 ? u16(entry + 8) : u32(entry + 8); };
    auto rational = [&]() -> double {
      const std::size_t at = u32(entry + 8);
      if (type != 5 || at + 8 > size || u32(at + 4) == 0) return 0;
      return double(u32(at)) / u32(at + 4);
    };
    if (tag == 256) width = value();
    else if (tag == 257) height = value();
    else if (tag == 282) resolutionX = rational();
    else if (tag == 283) resolutionY = rational();
    else if (tag == 296) unit = static_cast<int>(value());
  }
  if (width <= 0 || height <= 0) return false;
  if (unit == 3) resolutionX *= 2.54, resolutionY *= 2.54;  // per centimetre
  else if (unit != 2) resolutionX = resolutionY = 0;       // no absolute unit
  picture.extension = "tiff";
  picture.contentType = "image/tiff";
  SetSize(picture, width, height, resolutionX, resolutionY);
  return true;
}

// EMF: the header record's frame, in hundredths of a millimetre.
bool InspectEmf(PreparedPicture& picture) {
  const auto* data = reinterpret_cast<const unsigned char*>(picture.bytes.data());
  if (picture.bytes.size() < 88 || LittleEndian32(data) != 1 || std::memcmp(data + 40, " EMF", 4) != 0) return false;
  auto at = [&](std::size_t offset) { return static_cast<std::int32_t>(LittleEndian32(data + offset)); };
  const double width = double(at(32)) - at(24), height = double(at(36)) - at(28);
  if (width <= 0 || height <= 0) return false;
  picture.extension = "emf";
  picture.contentType = "image/x-emf";
  SetSize(picture, width, height, 2540, 2540);
  return true;
}

// WMF: the placeable header's bounding box in units per inch (a file without it has no size).
bool InspectWmf(PreparedPicture& picture) {
  const auto* data = reinterpret_cast<const unsigned char*>(picture.bytes.data());
  if (picture.bytes.size() < 22 + 18 || LittleEndian32(data) != 0x9AC6CDD7u) return false;
  auto at = [&](std::size_t offset) { return static_cast<std::int16_t>(LittleEndian16(data + offset)); };
  const double width = double(at(10)) - at(6), height = double(at(12)) - at(8), perInch = LittleEndian16(data + 14);
  if (width <= 0 || height <= 0 || perInch <= 0) return false;
  picture.extension = "wmf";
  picture.contentType = "image/x-wmf";
  SetSize(picture, width, height, perInch, perInch);
  return true;
}

void AppendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<std::size_t>(size));
}

// WebP: decoded with libwebp and embedded as PNG.
bool ConvertWebp(PreparedPicture& picture) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(picture.bytes.data());
  const std::size_t size = picture.bytes.size();
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WEBP", 4) != 0) return false;
  int width = 0, height = 0;
  std::unique_ptr<std::uint8_t, void (*)(void*)> pixels(WebPDecodeRGBA(data, size, &width, &height), WebPFree);
  if (!pixels || width <= 0 || height <= 0) return false;
  std::string png;
  if (!stbi_write_png_to_func(AppendBytes, &png, width, height, 4, pixels.get(), width * 4)) return false;
  picture.bytes = std::move(png);
  picture.extension = "png";
  picture.contentType = "image/png";
  SetSize(picture, width, height, 96, 96);
  return true;
}

bool LooksLikeSvg(const std::string& bytes) {
  std::size_t at = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
  if (at >= bytes.size() || bytes[at] != '<') return false;
  const std::size_t svg = bytes.find("<svg", at);
  return svg != std::string::npos && svg < at + 4096;
}

cairo_status_t AppendCairoBytes(void* context, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// SVG: kept as it is, with a PNG of its own size drawn by librsvg for readers without SVG.
bool RenderSvg(PreparedPicture& picture) {
  if (!LooksLikeSvg(picture.bytes)) return false;
  std::unique_ptr<RsvgHandle, void (*)(gpointer)> handle(
      rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(picture.bytes.data()), picture.bytes.size(), nullptr),
      g_object_unref);
  if (!handle) return false;
  rsvg_handle_set_dpi(handle.get(), 96);
  double width = 0, height = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(handle.get(), &width, &height)) {
    // Only a viewBox: its units are taken as pixels.
    gboolean hasWidth, hasHeight, hasViewBox;
    RsvgLength w, h;
    RsvgRectangle viewBox;
    rsvg_handle_get_intrinsic_dimensions(handle.get(), &hasWidth, &w, &hasHeight, &h, &hasViewBox, &viewBox);
    if (!hasViewBox) return false;
    width = viewBox.width;
    height = viewBox.height;
  }
  if (!(width >= 1) || !(height >= 1) || width > 20000 || height > 20000) return false;
  const int pixelsWide = static_cast<int>(std::ceil(width)), pixelsHigh = static_cast<int>(std::ceil(height));
  std::unique_ptr<cairo_surface_t, void (*)(cairo_surface_t*)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelsWide, pixelsHigh), cairo_surface_destroy);
  std::unique_ptr<cairo_t, void (*)(cairo_t*)> cairo(cairo_create(surface.get()), cairo_destroy);
  RsvgRectangle viewport{0, 0, width, height};
  if (!rsvg_handle_render_document(handle.get(), cairo.get(), &viewport, nullptr)) return false;
  cairo_surface_flush(surface.get());
  std::string png;
  if (cairo_surface_write_to_png_stream(surface.get(), AppendCairoBytes, &png) != CAIRO_STATUS_SUCCESS) return false;
  picture.svg = std::move(picture.bytes);
  picture.bytes = std::move(png);
  picture.extension = "png";
  picture.contentType = "image/png";
  SetSize(picture, width, height, 96, 96);
  return true;
}

}  // namespace

std::string ReadPictureSource(const std::string& source, const std::function<void(const std::string&)>& fail) {
  if (StartsWithNoCase(source, "http://") || StartsWithNoCase(source, "https://")) return Fetch(source, fail);
  if (StartsWithNoCase(source, "file://")) {
    // file:///path and file://localhost/path name a local file.
    std::string rest = source.substr(7);
    if (StartsWithNoCase(rest, "localhost/")) rest = rest.substr(9);
    if (rest.empty() || rest[0] != '/') fail("the file URL \"" + source + "\" does not name a local file.");
    return ReadFile(PercentDecoded(rest), source, fail);
  }
  if (source.find("://") != std::string::npos)
    fail("pictures are read from files and fetched over http or https only, not from \"" + source + "\".");
  return ReadFile(source, source, fail);
}

std::optional<PreparedPicture> PreparePicture(std::string bytes) {
  PreparedPicture picture;
  picture.bytes = std::move(bytes);
  if (InspectRaster(picture) || InspectTiff(picture) || InspectEmf(picture) || InspectWmf(picture) ||
      ConvertWebp(picture) || RenderSvg(picture))
    return picture;
  return std::nullopt;
}

}  // namespace tabrix::xlsx
