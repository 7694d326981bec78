#include "LinksFile.h"

#include <filesystem>
#include <system_error>

#include "XMLSerializer.h"

namespace fs = std::filesystem;

const char* const kLinksRootName = "Orvalis_Links";

namespace {

const char* const kCountKey = "ExternalLink";
const char* const kTypeKey = "LinkType";
const char* const kLabelKey = "LinkLabel";
const char* const kPathKey = "LinkPath";
const char* const kEmbeddedKey = "LinkEmbedded";
const char* const kPointKeys[3] = {"PointX", "PointY", "PointZ"};
// Names tried for a file kept aside before a new one is found free.
constexpr int kMaxKeptAside = 1000;

std::string LinkIdKey(size_t index) {
  return "LinkID_" + std::to_string(index);
}

std::unique_ptr<CLink> ReadLink(CXMLSerializer& file, const std::string& id) {
  auto link = std::make_unique<CLink>();
  file.ReadInt(kTypeKey, id, link->m_Type);
  file.ReadString(kLabelKey, id, link->m_Label);
  file.ReadString(kPathKey, id, link->m_Path);
  file.ReadInt(kEmbeddedKey, id, link->m_Embedded);
  for (int axis = 0; axis < 3; ++axis) file.ReadDouble(kPointKeys[axis], id, link->m_Point[axis]);
  return link;
}

bool WriteLink(CXMLSerializer& file, const CLink& link, size_t index) {
  const std::string id = LinkIdKey(index);
  bool written = file.WriteInt(id, kCountKey, static_cast<int>(index)) &&
                 file.WriteInt(kTypeKey, id, link.m_Type) &&
                 file.WriteString(kLabelKey, id, link.m_Label) &&
                 file.WriteString(kPathKey, id, link.m_Path) &&
                 file.WriteInt(kEmbeddedKey, id, link.m_Embedded);
  for (int axis = 0; axis < 3; ++axis)
    written = written && file.WriteDouble(kPointKeys[axis], id, link.m_Point[axis]);
  return written;
}

// A file at `path` that is not a readable links file; false for a missing one.
bool IsUnreadableLinksFile(const std::string& path) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(path, error))) return false;
  return !CXMLSerializer(path, kLinksRootName, false).IsUsable();
}

// Renames the file to the first free "<stem>.unreadable-<n><extension>" beside it.
bool KeepAside(const std::string& path, std::string& keptAs) {
  const fs::path file(path);
  for (int n = 1; n <= kMaxKeptAside; ++n) {
    fs::path aside = file.parent_path() / (file.stem().string() + ".unreadable-" +
                                           std::to_string(n) + file.extension().string());
    std::error_code error;
    if (fs::exists(fs::symlink_status(aside, error))) continue;
    fs::rename(file, aside, error);
    if (error) return false;
    keptAs = aside.string();
    return true;
  }
  return false;
}

}  // namespace

int LoadLinks(const std::string& path, LinkList& links, std::string& error) {
  links.clear();
  std::error_code missing;
  if (!fs::exists(fs::symlink_status(path, missing))) return 1;
  CXMLSerializer file(path, kLinksRootName, false);
  if (!file.IsUsable()) {
    error = "The links file " + path + " cannot be read: " + file.GetError() + ".";
    return 0;
  }
  int count = 0;
  file.ReadInt(kCountKey, "", count);
  // Every link has an element of its own: a count beyond the elements there are is false.
  const size_t present = count > 0 ? std::min<size_t>(count, file.CountElements()) : 0;
  for (size_t index = 0; index < present; ++index) {
    const std::string id = LinkIdKey(index);
    int number = 0;
    if (!file.ReadInt(id, kCountKey, number)) continue;
    links.push_back(ReadLink(file, id));
  }
  return 1;
}

int SaveLinks(const std::string& path, const LinkList& links, std::string& keptAs,
              std::string& error) {
  keptAs.clear();
  if (IsUnreadableLinksFile(path) && !KeepAside(path, keptAs)) {
    error = "The links file " + path +
            " cannot be read and could not be renamed aside; it is left as it is and the links "
            "are not saved. Move it away and save again.";
    return 0;
  }
  CXMLSerializer file(path, kLinksRootName, true);
  bool written = file.WriteInt(kCountKey, "", static_cast<int>(links.size()));
  for (size_t index = 0; index < links.size() && written; ++index)
    written = WriteLink(file, *links[index], index);
  if (!written || !file.Save()) {
    error = "The links file " + path + " cannot be written: " + file.GetError() +
            ". Make the project folder writable and add or delete a link again.";
    return 0;
  }
  return 1;
}
