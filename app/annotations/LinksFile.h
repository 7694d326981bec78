// The project's links file ("<stream>_links.xml"): the links in the order they were added,
// written through CXMLSerializer under the root "Orvalis_Links" as
//   ExternalLink = N
//     LinkID_i = i               (for every link i, a child of ExternalLink)
//       LinkType, LinkLabel, LinkPath, LinkEmbedded, PointX, PointY, PointZ
// The file travels with the project: it is read defensively (a count read from it is held
// to the elements it really has) and a file that cannot be read is never overwritten.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Link.h"

using LinkList = std::vector<std::unique_ptr<CLink>>;

extern const char* const kLinksRootName;

// Reads the links of the file into `links` (whose old links are released first). A missing
// file is a project without links: 1. A file that cannot be read as a links file gives 0,
// no links, and `error` saying why. A link whose element is missing is left out; a value
// that is missing leaves the link's field at its initial value.
int LoadLinks(const std::string& path, LinkList& links, std::string& error);

// Writes every link to the file, replacing it. A file there that cannot be read as a links
// file is first renamed aside to "<name>.unreadable-<n>.xml" (the first n not taken), and
// `keptAs` names it; otherwise `keptAs` is empty. 1 on success; 0 with `error`.
int SaveLinks(const std::string& path, const LinkList& links, std::string& keptAs,
              std::string& error);
