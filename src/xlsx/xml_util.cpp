// pugixml helpers shared by the package readers and writers (escaping of spreadsheet text).
#include "xlsx/xml_util.h"

#include <cctype>
#include <stdexcept>

#include "support/utf8.h"

namespace tabrix::xlsx {

void ParseXml(pugi::xml_document& doc, const std::string& bytes, const std::string& partName) {
  pugi::xml_parse_result result =
      doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
  if (!result)
    throw std::runtime_error("the part " + partName + " is not well-formed XML (" +
                             result.description() + " at offset " + std::to_string(result.offset) + ")");
  // pugixml's walk is iterative, so measuring the depth is safe at any depth.
  struct DepthCheck : pugi::xml_tree_walker {
    bool tooDeep = false;
    bool for_each(pugi::xml_node&) override {
      tooDeep = depth() >= kMaxXmlDepth;
      return !tooDeep;
    }
  } check;
  doc.traverse(check);
  if (check.tooDeep)
    throw std::runtime_error("the part " + partName + " nests elements deeper than " +
                             std::to_string(kMaxXmlDepth) + " levels");
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
  doc.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
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

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
  static const char* hex = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
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
        if (i + 6 < text.size() && text[i + 1] == 'x' && text[i + 6] == '_' &&
            isxdigit(static_cast<unsigned char>(text[i + 2])) && isxdigit(static_cast<unsigned char>(text[i + 3])) &&
            isxdigit(static_cast<unsigned char>(text[i + 4])) && isxdigit(static_cast<unsigned char>(text[i + 5]))) {
          out += "_x005F_";
          continue;
        }
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "_x00";
          out.push_back(hex[(c >> 4) & 15]);
          out.push_back(hex[c & 15]);
          out.push_back('_');
          continue;
        }
    }
    out.push_back(c);
  }
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
        // A lone surrogate escape has no UTF-8 form: it becomes U+FFFD.
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
