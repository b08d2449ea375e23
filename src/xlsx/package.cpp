// Package plumbing: part names, relationships and content types of an .xlsx package.
#include "xlsx/package.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "xlsx/cell_address.h"
#include "xlsx/xml_util.h"

namespace tabrix::xlsx {

std::string RelationshipsPartName(std::string_view partName) {
  std::size_t slash = partName.rfind('/');
  std::string folder = slash == std::string_view::npos ? "" : std::string(partName.substr(0, slash + 1));
  std::string file(slash == std::string_view::npos ? partName : partName.substr(slash + 1));
  return folder + "_rels/" + file + ".rels";
}

std::string PartFolder(std::string_view partName) {
  std::size_t slash = partName.rfind('/');
  return slash == std::string_view::npos ? "" : std::string(partName.substr(0, slash + 1));
}

std::string ResolvePartTarget(std::string_view sourcePart, std::string_view target) {
  std::string path;
  if (!target.empty() && target.front() == '/')
    path = std::string(target.substr(1));
  else
    path = PartFolder(sourcePart) + std::string(target);
  // Apply "." and ".." segments.
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string segment = path.substr(start, end - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string result;
  for (const auto& segment : segments) {
    if (!result.empty()) result.push_back('/');
    result += segment;
  }
  return result;
}

std::string RelativeTarget(std::string_view sourcePart, std::string_view targetPart) {
  std::string folder = PartFolder(sourcePart);
  std::string target(targetPart);
  // Common leading folders are dropped, every remaining folder of the source climbs one level.
  std::size_t common = 0;
  for (std::size_t i = 0; i < folder.size() && i < target.size() && folder[i] == target[i]; ++i)
    if (folder[i] == '/') common = i + 1;
  std::string result;
  for (std::size_t i = common; i < folder.size(); ++i)
    if (folder[i] == '/') result += "../";
  return result + target.substr(common);
}

bool RelationshipTypeIs(std::string_view actual, std::string_view type) {
  auto last = [](std::string_view t) {
    std::size_t slash = t.rfind('/');
    return slash == std::string_view::npos ? t : t.substr(slash + 1);
  };
  if (last(actual) != last(type)) return false;
  // Microsoft-specific types (VBA) must not match an OOXML type of the same last segment.
  bool msActual = actual.find("schemas.microsoft.com") != std::string_view::npos;
  bool msType = type.find("schemas.microsoft.com") != std::string_view::npos;
  return msActual == msType;
}

void Relationships::Load(const std::string& bytes, const std::string& partName) {
  pugi::xml_document doc;
  ParseXml(doc, bytes, partName);
  items_.clear();
  for (pugi::xml_node node : doc.document_element().children()) {
    if (LocalName(node.name()) != "Relationship") continue;
    Relationship rel;
    rel.id = node.attribute("Id").value();
    rel.type = node.attribute("Type").value();
    rel.target = node.attribute("Target").value();
    rel.external = std::string_view(node.attribute("TargetMode").value()) == "External";
    items_.push_back(std::move(rel));
  }
}

std::string Relationships::Serialize() const {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (const auto& rel : items_) {
    out += "<Relationship Id=\"";
    AppendEscaped(out, rel.id, true);
    out += "\" Type=\"";
    AppendEscaped(out, rel.type, true);
    out += "\" Target=\"";
    AppendEscaped(out, rel.target, true);
    out += rel.external ? "\" TargetMode=\"External\"/>" : "\"/>";
  }
  out += "</Relationships>";
  return out;
}

const Relationship* Relationships::FindById(std::string_view id) const {
  for (const auto& rel : items_)
    if (rel.id == id) return &rel;
  return nullptr;
}

const Relationship* Relationships::FindByType(std::string_view type) const {
  for (const auto& rel : items_)
    if (RelationshipTypeIs(rel.type, type)) return &rel;
  return nullptr;
}

std::string Relationships::Add(std::string type, std::string target, bool external) {
  if (nextId_ == 1) {
    for (const auto& rel : items_)
      if (rel.id.rfind("rId", 0) == 0) nextId_ = std::max(nextId_, std::atoi(rel.id.c_str() + 3) + 1);
  }
  std::string id;
  do {
    id = "rId" + std::to_string(nextId_++);
  } while (nextId_ <= static_cast<int>(items_.size()) + 1 && FindById(id));
  items_.push_back(Relationship{id, std::move(type), std::move(target), external});
  return id;
}

void Relationships::Remove(std::string_view id) {
  items_.erase(std::remove_if(items_.begin(), items_.end(), [&](const Relationship& r) { return r.id == id; }),
               items_.end());
}

void ContentTypes::Load(const std::string& bytes) { ParseXml(doc_, bytes, "[Content_Types].xml"); }

std::string ContentTypes::Serialize() const { return SerializeXml(doc_); }

std::string ContentTypes::TypeOf(std::string_view partName) const {
  std::string name = "/" + std::string(partName);
  for (pugi::xml_node node : doc_.document_element().children())
    if (LocalName(node.name()) == "Override" && NamesEqual(node.attribute("PartName").value(), name))
      return node.attribute("ContentType").value();
  std::size_t dot = partName.rfind('.');
  std::string extension = dot == std::string_view::npos ? "" : std::string(partName.substr(dot + 1));
  for (pugi::xml_node node : doc_.document_element().children())
    if (LocalName(node.name()) == "Default" && NamesEqual(node.attribute("Extension").value(), extension))
      return node.attribute("ContentType").value();
  return {};
}

void ContentTypes::SetOverride(std::string_view partName, std::string_view type) {
  std::string name = "/" + std::string(partName);
  for (pugi::xml_node node : doc_.document_element().children())
    if (LocalName(node.name()) == "Override" && NamesEqual(node.attribute("PartName").value(), name)) {
      node.attribute("ContentType").set_value(std::string(type).c_str());
      return;
    }
  pugi::xml_node node = doc_.document_element().append_child("Override");
  node.append_attribute("PartName").set_value(name.c_str());
  node.append_attribute("ContentType").set_value(std::string(type).c_str());
}

void ContentTypes::RemoveOverride(std::string_view partName) {
  std::string name = "/" + std::string(partName);
  for (pugi::xml_node node = doc_.document_element().first_child(); node;) {
    pugi::xml_node next = node.next_sibling();
    if (LocalName(node.name()) == "Override" && NamesEqual(node.attribute("PartName").value(), name))
      doc_.document_element().remove_child(node);
    node = next;
  }
}

void ContentTypes::EnsureDefault(std::string_view extension, std::string_view type) {
  for (pugi::xml_node node : doc_.document_element().children())
    if (LocalName(node.name()) == "Default" && NamesEqual(node.attribute("Extension").value(), extension))
      return;
  // Defaults come before overrides.
  pugi::xml_node first = doc_.document_element().first_child();
  pugi::xml_node node = first ? doc_.document_element().insert_child_before("Default", first)
                              : doc_.document_element().append_child("Default");
  node.append_attribute("Extension").set_value(std::string(extension).c_str());
  node.append_attribute("ContentType").set_value(std::string(type).c_str());
}

}  // namespace tabrix::xlsx
