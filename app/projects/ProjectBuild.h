// The rules of building a new project from 3D models: which files the build dialogs accept,
// where the new stream goes, the list file that names the models to the creator, and the
// arguments the creator gets for each kind of input.
#pragma once

#include <string>
#include <vector>

#include "nimbex/creation/StreamCreatorFormat.h"

class vtkPolyData;

// The messages of the build dialogs, as the user reads them.
constexpr const char* kOnlyModelsAllowed = "vtp, ptx or las 3d models only are allowed";
constexpr const char* kModelsOfOneType = "All models added must be of the same type";
constexpr const char* kProjectAlreadyPresent =
    "Another project is already present in this position!\nPlease specify a different folder "
    "or name";
constexpr const char* kSelectFieldOfInterest = "Select Field of Interest!";
constexpr const char* kFirstFileNotFound = "Unable to find first selected file!";
constexpr const char* kFirstFileNotOpened = "Unable to open first selected file!";

// The parse string of ASCII builds until the user chose one.
constexpr const char* kDefaultParseString = "xyzr-g-b";

enum BuildInputKind { BIK_NONE, BIK_VTP, BIK_PTX, BIK_LAS, BIK_ASCII };

// The kind of a model by its extension, in any case: ".vtp", ".ptx" or ".las"; BIK_NONE for
// any other (".laz" too: compressed LAS is not read).
BuildInputKind GetModelKind(const std::string& path);

// Why the models `added` cannot join the list `listed` of the model dialog, or an empty text
// when all of them can: each must be a VTP, PTX or LAS model, and all of the kind of the
// first model listed (or added, on an empty list).
std::string CheckModelsToAdd(const std::vector<std::string>& listed,
                             const std::vector<std::string>& added);

// The photographs of `chosen` the import reads, in order; the others go to `ignored`.
std::vector<std::string> SelectImageFiles(const std::vector<std::string>& chosen,
                                          std::vector<std::string>& ignored);

// A name a project folder and its stream can take: not empty, no "/", not "." nor "..".
bool IsValidProjectName(const std::string& name);

// Where the project `name` is built in `folder`: "<folder>/<name>/<name>.strm"; the folder
// alone while the name is empty.
std::string MakeBuildOutputPath(const std::string& folder, const std::string& name);

// The list file of a build beside its stream: "<stream folder>/<name>.list".
std::string MakeBuildListPath(const std::string& outputPath);
// Writes one model path a line; 1 on success.
int WriteBuildList(const std::string& listPath, const std::vector<std::string>& models);

// What the creator is given for one kind of input, besides the paths and the sinks.
struct CreateStreamArguments {
  std::string inputFormat;
  std::string parseString;
  int terrain = 0;
  int geoTransform = 0;
  int utmZone = -1;
  bool listOfFiles = true;
  StreamCreatorFormat format = SCF_POINT_FILE;
  // The bounds and count of the bounds pass are handed over (VTP, PTX); LAS hands zeroed
  // ones, which its header replaces; ASCII none.
  bool passesBounds = false;
};

// `parseString` is the VTP field string, the ASCII parser string, or the LAS attribute
// selection; PTX has none.
CreateStreamArguments GetCreateStreamArguments(BuildInputKind kind, const std::string& parseString);

// The field string of a VTP build: "xyz", then for each point data array of the first model,
// in order, "rgb" for "RGB", "gray" for "Gray" and "i" for "Intensity" (names in any case).
std::string MakeVtpFieldString(vtkPolyData* model);

enum class PreviewStatus { Ok, NotFound, NotOpened };
// The first `count` lines of a text file for the preview of an ASCII build; each line is cut
// at 1000 characters, so that a binary file shows a little of itself and no more.
PreviewStatus ReadPreviewLines(const std::string& path, int count, std::vector<std::string>& lines);
