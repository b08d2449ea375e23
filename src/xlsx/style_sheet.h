// styles.xml: the cell formats (kept by index), their number formats, the default font, and new
// formats added when a date goes into a General cell.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tabrix::xlsx {

class StyleSheet {
 public:
  // Loads styles.xml; an empty text gives the minimal default style sheet.
  void Load(const std::string& bytes);
  std::string Serialize() const;
  bool Modified() const { return modified_; }

  std::size_t FormatCount() const { return numberFormatIds_.size(); }
  std::uint32_t NumberFormatId(std::uint32_t style) const;
  // Format code of the cell format ("General" for id 0).
  std::string NumberFormatCode(std::uint32_t style) const;
  bool IsDateStyle(std::uint32_t style) const;
  // The style a date written into a cell of `style` gets: the style itself when it has a number
  // format, otherwise a copy of it with the short date format 14 (added once).
  std::uint32_t DateStyleFor(std::uint32_t style);
  // A copy of `style` with the number format id (added once; `style` itself when it has it).
  std::uint32_t StyleWithNumberFormat(std::uint32_t style, std::uint32_t numberFormatId);

  // Default font (first font of the style sheet).
  const std::string& DefaultFontName() const { return fontName_; }
  double DefaultFontSize() const { return fontSize_; }
  // Font of a cell format (name, size, bold), for column fitting.
  struct FontInfo {
    std::string name;
    double size = 11;
    bool bold = false;
  };
  FontInfo FontOf(std::uint32_t style) const;

 private:
  pugi::xml_document doc_;
  pugi::xml_node cellXfs_;
  std::vector<std::uint32_t> numberFormatIds_;
  std::vector<std::uint32_t> fontIds_;
  std::vector<FontInfo> fonts_;
  std::map<std::uint32_t, std::string> customFormats_;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> derivedStyles_;
  mutable std::vector<std::int8_t> dateCache_;  // -1 unknown, 0 no, 1 yes
  std::string fontName_ = "Calibri";
  double fontSize_ = 11;
  bool modified_ = false;
};

}  // namespace tabrix::xlsx
