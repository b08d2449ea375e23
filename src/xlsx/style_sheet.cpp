// styles.xml: cell formats, number formats and the default font, and formats added for dates.
#include "xlsx/style_sheet.h"

#include <cstdlib>

#include "xlsx/number_format/number_format.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

namespace {

const char* kDefaultStyles =
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/>"
    "<family val=\"2\"/><scheme val=\"minor\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
    "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
    "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
    "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium2\" "
    "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>";

}  // namespace

void StyleSheet::Load(const std::string& bytes) {
  if (bytes.empty()) {
    doc_.load_string(kDefaultStyles);
  } else {
    ParseXml(doc_, bytes, "xl/styles.xml");
  }
  pugi::xml_node root = doc_.document_element();
  for (pugi::xml_node fmt : ChildByLocalName(root, "numFmts").children())
    customFormats_[fmt.attribute("numFmtId").as_uint()] = fmt.attribute("formatCode").value();
  for (pugi::xml_node font : ChildByLocalName(root, "fonts").children()) {
    FontInfo info;
    pugi::xml_node name = ChildByLocalName(font, "name");
    if (!name) name = ChildByLocalName(font, "rFont");
    info.name = name ? name.attribute("val").value() : "Calibri";
    pugi::xml_node size = ChildByLocalName(font, "sz");
    info.size = size ? size.attribute("val").as_double(11) : 11;
    pugi::xml_node bold = ChildByLocalName(font, "b");
    info.bold = bold && std::string_view(bold.attribute("val").value()) != "0" &&
                std::string_view(bold.attribute("val").value()) != "false";
    fonts_.push_back(info);
  }
  if (!fonts_.empty()) {
    fontName_ = fonts_[0].name;
    fontSize_ = fonts_[0].size;
  }
  cellXfs_ = ChildByLocalName(root, "cellXfs");
  if (!cellXfs_) {
    // A style sheet without cell formats: give it the single default one.
    pugi::xml_node dxfs = ChildByLocalName(root, "cellStyles");
    cellXfs_ = dxfs ? root.insert_child_before("cellXfs", dxfs) : root.append_child("cellXfs");
    pugi::xml_node xf = cellXfs_.append_child("xf");
    xf.append_attribute("numFmtId") = 0;
    xf.append_attribute("fontId") = 0;
    xf.append_attribute("fillId") = 0;
    xf.append_attribute("borderId") = 0;
    cellXfs_.append_attribute("count") = 1;
    modified_ = true;
  }
  for (pugi::xml_node xf : cellXfs_.children()) {
    numberFormatIds_.push_back(xf.attribute("numFmtId").as_uint());
    fontIds_.push_back(xf.attribute("fontId").as_uint());
  }
  dateCache_.assign(numberFormatIds_.size(), -1);
}

std::string StyleSheet::Serialize() const { return SerializeXml(doc_); }

std::uint32_t StyleSheet::NumberFormatId(std::uint32_t style) const {
  return style < numberFormatIds_.size() ? numberFormatIds_[style] : 0;
}

std::string StyleSheet::NumberFormatCode(std::uint32_t style) const {
  std::uint32_t id = NumberFormatId(style);
  auto it = customFormats_.find(id);
  if (it != customFormats_.end()) return it->second;
  std::string code(BuiltinFormatCode(static_cast<int>(id)));
  return code.empty() ? "General" : code;
}

bool StyleSheet::IsDateStyle(std::uint32_t style) const {
  if (style >= dateCache_.size()) return false;
  if (dateCache_[style] < 0) {
    std::uint32_t id = numberFormatIds_[style];
    auto custom = customFormats_.find(id);
    bool date = custom != customFormats_.end() ? IsDateFormat(custom->second)
                                               : IsDateFormatId(static_cast<int>(id));
    dateCache_[style] = date ? 1 : 0;
  }
  return dateCache_[style] == 1;
}

std::uint32_t StyleSheet::DateStyleFor(std::uint32_t style) {
  if (NumberFormatId(style) != 0) return style;
  return StyleWithNumberFormat(style, 14);
}

std::uint32_t StyleSheet::StyleWithNumberFormat(std::uint32_t style, std::uint32_t numberFormatId) {
  if (NumberFormatId(style) == numberFormatId) return style;
  auto key = std::make_pair(style, numberFormatId);
  auto it = derivedStyles_.find(key);
  if (it != derivedStyles_.end()) return it->second;
  // Copy the cell format with the other number format.
  pugi::xml_node source;
  std::uint32_t index = 0;
  for (pugi::xml_node xf : cellXfs_.children()) {
    if (index++ == style) {
      source = xf;
      break;
    }
  }
  pugi::xml_node copy = source ? cellXfs_.append_copy(source) : cellXfs_.append_child("xf");
  if (!copy.attribute("numFmtId")) copy.append_attribute("numFmtId");
  copy.attribute("numFmtId").set_value(numberFormatId);
  if (!copy.attribute("applyNumberFormat")) copy.append_attribute("applyNumberFormat");
  copy.attribute("applyNumberFormat").set_value(1);
  auto newStyle = static_cast<std::uint32_t>(numberFormatIds_.size());
  numberFormatIds_.push_back(numberFormatId);
  fontIds_.push_back(copy.attribute("fontId").as_uint());
  dateCache_.push_back(-1);
  if (!cellXfs_.attribute("count")) cellXfs_.append_attribute("count");
  cellXfs_.attribute("count").set_value(static_cast<unsigned>(numberFormatIds_.size()));
  derivedStyles_[key] = newStyle;
  modified_ = true;
  return newStyle;
}

StyleSheet::FontInfo StyleSheet::FontOf(std::uint32_t style) const {
  std::uint32_t font = style < fontIds_.size() ? fontIds_[style] : 0;
  if (font < fonts_.size()) return fonts_[font];
  return FontInfo{fontName_, fontSize_, false};
}

}  // namespace tabrix::xlsx
