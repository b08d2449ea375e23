// pugixml helpers shared by the package readers and writers.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace tabrix::xlsx {

// Deepest element nesting accepted in a part. Spreadsheet parts nest a few dozen levels at most;
// a deeper document is refused before anything walks it.
inline constexpr int kMaxXmlDepth = 256;

// Parses `bytes` into `doc`; throws std::runtime_error naming `partName` on broken XML or
// nesting deeper than kMaxXmlDepth.
void ParseXml(pugi::xml_document& doc, const std::string& bytes, const std::string& partName);
// The same without the error: false on broken XML or nesting of `maxDepth` levels or more.
// `extraOptions` adds pugixml options (parse_fragment for a piece of content).
bool TryParseXml(pugi::xml_document& doc, std::string_view bytes, unsigned extraOptions, int maxDepth);

// Serialises without indentation, with the XML declaration; the result is well-formed whatever
// the texts of the document hold (see XmlSafe).
std::string SerializeXml(const pugi::xml_document& doc);
// The text with bytes that are not UTF-8 replaced by U+FFFD and characters XML cannot hold
// dropped (for XML without the _xHHHH_ escape).
std::string XmlSafe(std::string text);

// The XML of the node's children as written without indentation (an element's inner XML).
std::string InnerXml(pugi::xml_node node);

// Local part of an element or attribute name ("x:row" -> "row").
std::string_view LocalName(const char* name);

// First child element with the local name, or an empty node.
pugi::xml_node ChildByLocalName(pugi::xml_node parent, std::string_view localName);

// An attribute whose local name is "id" in the relationships namespace ("r:id").
pugi::xml_attribute RelationshipIdAttribute(pugi::xml_node node);

// Appends XML-escaped text (element content; `attribute` also escapes quotes). Bytes that are not
// UTF-8 become U+FFFD. Characters XML cannot hold (C0 controls other than tab, LF and CR, lone
// surrogates, U+FFFE, U+FFFF) are written as _xHHHH_ in element content and dropped from
// attribute values, which have no escape; a literal "_xHHHH_" keeps its underscore escaped.
void AppendEscaped(std::string& out, std::string_view text, bool attribute = false);
// Undoes the _xHHHH_ escapes of spreadsheet texts.
std::string UnescapeSpreadsheetText(std::string_view text);

}  // namespace tabrix::xlsx
