// The photo-textured picture of the 3D view: the points that the drawing pass has just loaded
// are triangulated in window space (nearest first, one point per mostly empty 15 x 15 pixel
// square), each point is tied to the first photograph that sees it, and every pixel of a
// triangle takes its colour from a photograph through the point where the pixel's ray meets
// the triangle's plane. The photograph that sees the point nearest the middle of the window
// is the main one and is used at full resolution.
#pragma once

#include <array>
#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "nimbex/platform/Orientation.h"

namespace cv {
class Subdiv2D;
}
class CNimbex;
class CProjectImages;
class vtkPolyData;
struct RenderWindow;

// One photograph as the textured view uses it.
struct STexturePhoto {
  std::string path;
  // 8-bit blue, green, red in the geometry `orientation` projects into (its scale set to the
  // picture's size); empty when the photograph could not be read.
  cv::Mat image;
  COrientation orientation;
  bool oriented = false;  // interior and exterior known
};

// The photographs of a project in the order of its image list: oriented ones read at half
// their size (the main photograph is read again at full size when it is chosen). Each
// photograph that cannot be used adds a sentence to `problems`.
std::vector<STexturePhoto> LoadTexturePhotos(const CProjectImages& images,
                                             std::vector<std::string>& problems);

// Points the window's camera the way the photograph was taken: from its projection centre
// along its viewing axis, upright as the photograph. The window keeps its parallel projection,
// scaled so that its height covers what the photograph's does at the mean distance of the
// surfaces it sees (known from the mean ground sampling distance, else taken as the distance
// to the middle of the window's streams). 0 for a photograph without both orientations or a
// window without renderer.
int LookThroughPhotograph(RenderWindow* window, const COrientation& orientation);

// How the picture's pixels are found: by scanning each triangle (the normal way), or by
// locating every pixel in the triangulation, the slower way kept as the reference.
enum class ETexturePixels { Triangles, PointLocation };

class CViewTexture {
 public:
  CViewTexture(RenderWindow* window, std::vector<STexturePhoto> photos);
  virtual ~CViewTexture();
  CViewTexture(const CViewTexture&) = delete;
  CViewTexture& operator=(const CViewTexture&) = delete;

  // Reads the window's camera (position, focal point, direction), its view matrices and pixel
  // size, and starts a new triangulation over the window. 0 without a window, renderer,
  // camera or size.
  int UpdateCamera();
  // A new, empty triangulation over (0, 0, width, height).
  void ResetSubdivision(int width, int height);
  // Draws `cloud` with the light budget of a textured stream (the window is not rendered),
  // then makes the textured picture of what it loaded. 1 when a picture was made; 0 for no
  // stream, no camera, or 31 points or fewer.
  int DrawTextured(CNimbex* cloud);
  // The textured picture of the points of `points` (scene coordinates, with an optional
  // "Normals" array) after UpdateCamera; 1 when made, 0 for 31 points or fewer.
  int TexturePoints(vtkPolyData* points);

  void SetPixelMethod(ETexturePixels method) { m_PixelMethod = method; }

  // The last picture: window size, blue, green, red, top row first; black where nothing is
  // known.
  const cv::Mat& GetPicture() const { return m_Output; }
  // The occupancy mask of the last picture (255 where a point claimed the square).
  const cv::Mat& GetMask() const { return m_Mask; }
  // The main photograph (index in the photograph list), -1 before any was chosen.
  int GetMainIndex() const { return m_FullIndex; }
  std::string GetMainPath() const;
  bool IsMainLoaded() const { return !m_FullImage.empty(); }
  int GetPointCount() const { return m_PointCount; }
  int GetVertexCount() const { return static_cast<int>(m_Vertices.size()); }
  const std::vector<STexturePhoto>& GetPhotos() const { return m_Photos; }

 private:
  struct SVertex {
    int point;  // index in the drawn points
    int image;  // photograph that colours it, -1 none
  };
  struct STriangle;
  struct SSelected {
    cv::Point2f at;  // window position
    SVertex record;
  };
  struct SSource {
    const cv::Mat* image;
    const COrientation* orientation;
  };

  std::vector<int> DepthOrder(std::vector<cv::Point2d>& ndc) const;
  void SelectAndTriangulate(vtkPolyData* points);
  void Triangulate(std::vector<SSelected>& selected);
  void PrepareRays();
  int FirstPhotoSeeing(const double absolute[3], const float* normal) const;
  int CountEmpty(int column, int row) const;
  void Claim(int column, int row);
  void LoadMainPhoto(int main);
  void FillByTriangles();
  void FillByPointLocation();
  void ShadeLocated(int column, int row);
  void ShadePixel(int column, int row, const int edges[3]);
  void ShadeVertexPixel(int column, int row, int vertex);
  bool MakeTriangle(const int vertices[3], STriangle& triangle) const;
  void ShadeTrianglePixel(const STriangle& triangle, int column, int row);
  void Colour(const double scene[3], int image, int column, int row);
  SSource SourceOf(int image) const;
  void Ray(int column, int row, double from[3], double to[3]) const;
  const SVertex* VertexRecord(int vertex) const;

  RenderWindow* m_Window;
  std::vector<STexturePhoto> m_Photos;
  double m_Position[3] = {0, 0, 0};
  double m_FocalPoint[3] = {0, 0, 0};
  double m_Direction[3] = {0, 0, -1};
  double m_PixelSize = -1234567890.0;
  double m_WorldToView[16];
  double m_ViewToWorld[16];
  int m_Width = 0;
  int m_Height = 0;

  std::unique_ptr<cv::Subdiv2D> m_Subdivision;
  std::vector<SVertex> m_Vertices;    // by subdivision vertex id minus the first point's id
  std::vector<cv::Point3d> m_Points;  // the drawn points, scene coordinates
  std::vector<std::array<double, 4>> m_RayColumns;
  std::vector<std::array<double, 8>> m_RayRows;
  cv::Mat m_Output;
  cv::Mat m_Mask;
  cv::Mat m_FullImage;
  COrientation m_FullOrientation;
  int m_FullIndex = -1;
  int m_PointCount = 0;
  ETexturePixels m_PixelMethod = ETexturePixels::Triangles;
};
