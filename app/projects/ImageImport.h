// Importing photographs into a project's data folder. Each source is copied (JPEG) or
// converted to JPEG under a name of its own, with its orientation files, textured model and
// texture data, and gets a thumbnail. Problems are collected per source as (path, problem)
// and the import goes on; only the lack of a free name, a data folder that cannot be written
// and the stop flag end it early.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CProgressSink;
class CTextSink;

using ProblemList = std::vector<std::pair<std::string, std::string>>;

// The problems as the import words them.
constexpr const char* kImageNotOriented = "Image not oriented";
constexpr const char* kNoFreeImageName = "Unable to find right file name";
constexpr const char* kRawImageRefused = "Unable to handle raw image format";
constexpr const char* kInvalidImageFormat = "Invalid image format";
constexpr const char* kImageNotFound = "Image not found";

// The most numbered names "<name>_01" … "<name>_998" tried after "<name>".
constexpr int kMaxImageNameSuffix = 998;

// The base name under which a photograph called `baseName` enters the data folder: itself,
// or the first of "<name>_01" … "<name>_998" whose photograph and companions are all absent.
// Empty when none is free.
std::string FindFreeImageName(const std::string& dataFolder, const std::string& baseName);

// A source that lacks an orientation file: which of the two are missing.
struct MissingOrientation {
  std::string source;
  bool interiorMissing = false;  // "<source>.int"
  bool exteriorMissing = false;  // "<source>.est"
};
// The sources (".xml" descriptions excepted) that lack their ".int" or ".est" file, in order.
std::vector<MissingOrientation> FindUnorientedSources(const std::vector<std::string>& sources);

// The photographs a source brings are counted as problems of the import when they are
// anything else than an unoriented photograph, which is imported all the same.
bool IsImportFailure(const std::pair<std::string, std::string>& problem);

// Imports `sources` into the data folder of the project `projectPath`, reporting the source
// number on `progress` and the share done on `status` (either may be null), and stopping
// after the current source once `*stop` is set. 1 when every source was handled; 0 when
// stopped, when the data folder cannot be made or written, or without sources or project.
int ImportImages(const std::vector<std::string>& sources, CProgressSink* progress,
                 CTextSink* status, ProblemList& problems, const int* stop,
                 const std::string& projectPath);
