// Where a picture's bytes come from (a file, a file:// URL, or http/https through libcurl) and
// what they become in the package: format, size, and the PNG that stands in for SVG and WebP.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tabrix::xlsx {

// Largest picture AddPicture embeds (file or download); the whole picture is held in memory.
inline constexpr std::uint64_t kMaxPictureFileBytes = 256ull << 20;
// A download that has not finished in this time fails.
inline constexpr long kPictureFetchTimeoutSeconds = 30;

// The bytes of the picture at `source`: a path, a file:// URL (taken as a path) or an http or
// https URL. `fail` is called with a description of the problem and must not return.
std::string ReadPictureSource(const std::string& source, const std::function<void(const std::string&)>& fail);

struct PreparedPicture {
  std::string bytes;                     // the blip's media part
  std::string extension, contentType;    // of `bytes`
  std::string svg;                       // an SVG's own text, kept beside its PNG fallback
  double widthPoints = 0, heightPoints = 0;  // the picture's own size
};

// The picture as it is embedded: PNG, JPEG, GIF, BMP, TIFF, EMF and WMF as they are; WebP as
// PNG; SVG as its PNG rendering plus the SVG itself. Nothing when the bytes are none of these.
std::optional<PreparedPicture> PreparePicture(std::string bytes);

}  // namespace tabrix::xlsx
