// The data folder of a project, "<folder>/<name>_data" beside the stream: the imported
// photographs, their thumbnails ("thumb_<image>.jpg") and their companions (orientations,
// textured models, settings, notes).
#pragma once

#include <string>
#include <vector>

// The extensions a photograph of the data folder may have, in the order they are tried.
extern const char* const kDataFolderImageExtensions[5];

// The folder's image extension: of the extensions tried in order, the last one that some
// file of the folder carries (compared without regard to case, as the files may come from
// a camera). Empty for a folder without photographs or that cannot be read.
std::string GetImageExtension(const std::string& dataFolder);

// True for the name of a thumbnail, which is never a photograph of its own.
bool IsThumbnailName(const std::string& fileName);

// The files of the folder with the extension `extension` (any case), sorted by name,
// thumbnails left out when `withThumbnails` is false. Full paths.
std::vector<std::string> ListDataFolderFiles(const std::string& dataFolder,
                                             const std::string& extension,
                                             bool withThumbnails = false);

// True when the file name ends with "." and the extension, compared without regard to case.
bool HasExtension(const std::string& fileName, const std::string& extension);

// The lower-cased extension of a path with its dot (".jpg"); empty when it has none.
std::string LowerExtension(const std::string& path);
