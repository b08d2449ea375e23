// pugixml helpers shared by the package readers and writers (escaping of spreadsheet text).
#include "xlsx/xml_util.h"

#include <cctype>
#include <stdexcept>

#include "support/utf8.h"

namespace tabrix::xlsx {

namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

// pugixml's walk is iterative, so measuring the depth is safe at any depth.
bool NestsDeeper(pugi::xml_document& doc, int maxDepth) {
  struct DepthCheck : pugi::xml_tree_walker {
    int limit = 0;
    bool tooDeep = false;
    bool for_each(pugi::xml_node&) override {
      tooDeep = depth() >= limit;
      return !tooDeep;
    }
  } check;
  check.limit = maxDepth;
  doc.traverse(check);
  return check.tooDeep;
}

}  // namespace

void ParseXml(pugi::xml_document& doc, const std::string& bytes, const std::string& partName) {
  pugi::xml_parse_result result = doc.load_buffer(bytes.data(), bytes.size(), kParseOptions);
  if (!result)
    throw std::runtime_error("the part " + partName + " is not well-formed XML (" +
                             result.description() + " at offset " + std::to_string(result.offset) + ")");
  if (NestsDeeper(doc, kMaxXmlDepth))
    throw std::runtime_error("the part " + partName + " nests elements deeper than " +
                             std::to_string(kMaxXmlDepth) + " levels");
}

bool TryParseXml(pugi::xml_document& doc, std::string_view bytes, unsigned extraOptions, int maxDepth) {
  return doc.load_buffer(bytes.data(), bytes.size(), kParseOptions | extraOptions) && !NestsDeeper(doc, maxDepth);
}

namespace {
struct StringWriter : pugi::xml_writer {
  std::string* out;
  void write(const void* data, size_t size) override {
    out->append(static_cast<const char*>(data), size);
  }
};
}  // namespace

std::string SerializeXml(const pugi::xml_document& doc) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  StringWriter writer;
  writer.out = &out;
  doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration | pugi::format_skip_control_chars,
           pugi::encoding_utf8);
  // Texts of any source may hold bytes that are not UTF-8 or characters XML cannot hold; a part
  // written from a document has no escape for them.
  return XmlSafe(std::move(out));
}

std::string InnerXml(pugi::xml_node node) {
  std::string out;
  StringWriter writer;
  writer.out = &out;
  for (pugi::xml_node child : node.children()) child.print(writer, "", pugi::format_raw);
  return out;
}

std::string_view LocalName(const char* name) {
  std::string_view view(name);
  std::size_t colon = view.find(':');
  return colon == std::string_view::npos ? view : view.substr(colon + 1);
}

pugi::xml_node ChildByLocalName(pugi::xml_node parent, std::string_view localName) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && LocalName(child.name()) == localName) return child;
  return {};
}

pugi::xml_attribute RelationshipIdAttribute(pugi::xml_node node) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    std::string_view name(a.name());
    if (name.size() > 3 && name.substr(name.size() - 3) == ":id") return a;
  }
  return {};
}

namespace {

const char* const kHex = "0123456789ABCDEF";

// Characters XML 1.0 can hold: tab, LF, CR, U+0020..U+D7FF, U+E000..U+FFFD, U+10000..U+10FFFF.
bool IsXmlCharacter(char32_t cp) {
  if (cp < 0x20) return cp == '\t' || cp == '\n' || cp == '\r';
  return cp < 0xD800 || (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void AppendHexEscape(std::string& out, char32_t cp) {
  out += "_x";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(cp >> shift) & 15]);
  out.push_back('_');
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) >= 0x80) {
      const std::size_t start = i;
      const char32_t cp = utf8::Decode(text, i);
      if (i - start == 1)
        out += "\xEF\xBF\xBD";  // a byte that is not UTF-8
      else if (IsXmlCharacter(cp))
        out.append(text.substr(start, i - start));
      else if (!attribute)
        AppendHexEscape(out, cp);  // attribute values have no escape: the character is dropped
      continue;
    }
    ++i;
    switch (c) {
      case '&': out += "&amp;"; continue;
      case '<': out += "&lt;"; continue;
      case '>': out += "&gt;"; continue;
      case '"':
        if (attribute) {
          out += "&quot;";
          continue;
        }
        break;
      case '\n':
        if (attribute) {
          out += "&#10;";
          continue;
        }
        break;
      case '\r':
        out += "&#13;";
        continue;
      case '\t':
        if (attribute) {
          out += "&#9;";
          continue;
        }
        break;
      case '_':
        // "_x0041_" in the text itself must not be read back as an escape.
        if (i + 5 < text.size() && text[i] == 'x' && text[i + 5] == '_' &&
            isxdigit(static_cast<unsigned char>(text[i + 1])) && isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            isxdigit(static_cast<unsigned char>(text[i + 3])) && isxdigit(static_cast<unsigned char>(text[i + 4]))) {
          out += "_x005F_";
          continue;
        }
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          if (!attribute) AppendHexEscape(out, static_cast<char32_t>(c));
          continue;
        }
    }
    out.push_back(c);
  }
}

std::string XmlSafe(std::string text) {
  std::size_t i = 0;
  // Usual parts are all well-formed: nothing is copied.
  while (i < text.size()) {
    const std::size_t start = i;
    const char32_t cp = utf8::Decode(text, i);
    if ((cp >= 0x20 || cp == '\t' || cp == '\n' || cp == '\r') && (cp < 0x80 || (i - start > 1 && IsXmlCharacter(cp))))
      continue;
    i = start;
    break;
  }
  if (i == text.size()) return text;
  std::string out(text, 0, i);
  while (i < text.size()) {
    const std::size_t start = i;
    const char32_t cp = utf8::Decode(text, i);
    if (cp >= 0x80 && i - start == 1)
      out += "\xEF\xBF\xBD";
    else if (IsXmlCharacter(cp))
      out.append(text, start, i - start);
  }
  return out;
}

std::string UnescapeSpreadsheetText(std::string_view text) {
  if (text.find("_x") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_' && i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_') {
      unsigned value = 0;
      bool ok = true;
      for (std::size_t k = i + 2; k < i + 6; ++k) {
        char h = text[k];
        value <<= 4;
        if (h >= '0' && h <= '9') value |= h - '0';
        else if (h >= 'a' && h <= 'f') value |= h - 'a' + 10;
        else if (h >= 'A' && h <= 'F') value |= h - 'A' + 10;
        else ok = false;
      }
      if (ok) {
        // A lone surrogate keeps its three-byte form (support/utf8.h).
        utf8::Append(out, value);
        i += 6;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace tabrix::xlsx
