// Names of the files that belong to a project or to one of its images. Every name is built
// from a path (the stream's or an image's) and a kind: the folder of the path is kept and
// the kind's pattern, filled with the path's base name, takes the place of the file name.
#pragma once

#include <string>

enum ProjectFileKind {
  PFK_INTERIOR_ORIENTATION = 1,  // "<image>.int"
  PFK_EXTERIOR_ORIENTATION = 2,  // "<image>.est"
  PFK_THUMBNAIL = 3,             // "thumb_<image>.jpg"
  PFK_OVERVIEW = 4,              // "<stream>.jpg", the project's overview picture
  PFK_NOTE = 7,                  // "<image>_note.txt"
  PFK_SETTINGS = 8,              // "<stream or image>.ini"
  PFK_FILTER = 10,               // "<stream>_filter.ini"
  PFK_LINKS = 11,                // "<stream>_links.xml"
};

// The file of `kind` for `path`; an empty text for an empty path or an unknown kind.
std::string MakeFileName(int kind, const std::string& path);

// The project's data folder "<folder>/<name>_data" (no closing separator) of a stream path;
// an empty text for an empty path.
std::string MakeDataFolderName(const std::string& strmPath);

// The base name of a path: no folder, no extension.
std::string BaseName(const std::string& path);

// The absolute, canonical form of a path (symbolic links, "." and ".." resolved as far as the
// path exists), the one form in which a project's path is compared, stored or remembered;
// an empty text for an empty path.
std::string AbsolutePath(const std::string& path);
