// What a link may do with files: the check of a new link's entry, the copy of its files into
// the project's "FileLink" folder ("embedding"), the files it names when opened, and the
// removal of its copies when it is deleted.
//
// A link's path comes from a file that travels with the project: it is data, never an
// instruction to touch files outside the project. Embedding writes into the FileLink folder
// only; deleting a link deletes regular files inside the FileLink folder only, never one
// named by an absolute path, by ".." or through a symbolic link, nor one that another link
// still names.
//
// Files copied with a link's file ("companions": same folder, same name, the extensions
// below), and removed with it:
// - model links: every file of a stream's file set ("strm", "ovw", "tri", ..., "pci") and a
//   VTP model's "vtw", "tex" and "jpg";
// - orthophotos: the world file ("jgw" for ".jpg" and ".jpeg" images, "tfw" otherwise) and
//   the overviews and georeferencing that GDAL keeps beside an image ("<image>.ovr",
//   "<name>.ovr", "<image>.aux.xml");
// - Vantel models: every file of the model's folder whose name is the model's name followed
//   by a dot ("<name>.*");
// - other links: the file alone.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "LinksFile.h"

extern const char* const kFileLinkFolder;

// The project's FileLink folder, made when missing; empty with `error` when something else
// stands there (a file, or a symbolic link that could lead the copies out of the project).
std::filesystem::path FileLinkFolder(const std::string& projectFolder, std::string& error);

// The files a link names: a model link's ";"-separated files, any other link's one path.
std::vector<std::string> LinkPaths(int type, const std::string& path);
// A path relative to the project folder: ".\" (or "./") and the path inside the folder.
bool IsProjectRelativePath(const std::string& path);
// The stored form of a file of the FileLink folder: ".\FileLink\<name>", with backslashes
// as the project's links files have always had them.
std::string EmbeddedLinkPath(const std::string& name);
// The file a link path names: a project-relative path in the project folder (backslashes
// read as separators), any other path as it is. Empty for a relative path that would leave
// the project folder (absolute after the prefix, or with a ".." component).
std::string ResolveLinkPath(const std::string& path, const std::string& projectFolder);

// Web links name an address; every other type names files.
bool LinkRefersToFiles(int type);
// The message that refuses a new link of `type` with `path`; empty when it may be added.
std::string CheckLinkEntry(int type, const std::string& path);

// Copies a new link's files with their companions into "<projectFolder>/FileLink" (made
// when missing; copies there are replaced) and returns the link's path made of the stored
// forms of its files, ";"-joined. Empty, with `error` saying which file failed and why,
// when a file is missing, its name cannot be stored in a link (it holds a backslash), the
// FileLink folder is not a plain folder of the project, or a copy fails.
std::string EmbedLinkFiles(int type, const std::string& path, const std::string& projectFolder,
                           std::string& error);

struct SLinkFilesRemoval {
  std::vector<std::string> deleted;
  // Files the link names that were left in place, each with the reason.
  std::vector<std::string> kept;
};
// Deletes the files of a link that is being deleted: for a link with a project-relative
// path, the files it names inside the FileLink folder and, when it was embedded, their
// companions there. `remaining` are the project's other links.
SLinkFilesRemoval DeleteLinkFiles(const CLink& link, const LinkList& remaining,
                                  const std::string& projectFolder);
