// The textured model that comes with a nadir photograph of the demo site: the patch of ground
// the photograph sees, as a quad whose corners are the image corners' rays met with the
// ground under the camera, textured with the photograph itself. Written as "<photo>.vtp"
// (absolute double coordinates, a "Texture" point array of image coordinates) and
// "<photo>.tex" (section "Texture", key "File": the photograph's file name, in the same folder).
#pragma once

#include <filesystem>
#include <string>

class COrientation;

// Writes the two files beside the photograph `photo`, the ground lying at height `ground`.
// False, with the reason in `error`, when a corner's ray does not reach the ground (an
// oblique view of the horizon) or a file cannot be written.
bool WriteTexturedGround(const std::filesystem::path& photo, const COrientation& orientation,
                         double ground, std::string& error);
