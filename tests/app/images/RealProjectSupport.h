// The sample reconstruction of a stone portal made into a project, as a surveyor makes it:
// its points built into a stream, its photographs oriented from the model and imported.
// Kept out of the tests' own files: the stream creator names a member "slots", which Qt
// defines as a keyword.
#pragma once

#include <filesystem>
#include <string>

// The folder of the sample reconstruction, or empty when the samples are not there.
std::filesystem::path DoorModelFolder();

// The reconstruction's points with their colours as "x y z r g b" lines; their number.
int WritePointsAsText(const std::filesystem::path& points3D, const std::filesystem::path& text);

// Builds "<folder>/door.strm" from the model's points and imports its photographs, oriented
// from the model in a folder of their own, into the project. The project's path, or empty
// with `why` saying which step failed.
std::string MakeDoorProject(const std::filesystem::path& model, const std::filesystem::path& folder,
                            std::string& why);
