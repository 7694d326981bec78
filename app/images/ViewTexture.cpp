#include "ViewTexture.h"

#include <vtkCamera.h>
#include <vtkDataArray.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>
#include <vtkPointData.h>
#include <vtkPolyData.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkTransform.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/projects/ProjectImages.h"
#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {

// A drawing pass of fewer points gives no picture.
constexpr int kMinPoints = 32;
// The occupancy square around a point, and how many of its pixels must still be empty for
// the point to be triangulated (11.25, a twentieth of the square, rounded up).
constexpr int kSquareHalf = 7;
constexpr int kMinEmpty = 12;
// A photograph sees a point only this far inside its borders.
constexpr int kPhotoBorder = 32;
// The subdivision's first three vertices enclose the window; the points follow.
constexpr int kFirstPointVertex = 4;
// Rows of the window in one band of the triangulation's insertion order.
constexpr int kInsertionBand = 16;
// A pixel nearer than this to a triangle's edge belongs to no single triangle.
constexpr double kEdgeTolerance = 1e-4;

int Floor(double value) {
  return static_cast<int>(std::floor(value));
}

double Dot(const double a[3], const double b[3]) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void Cross(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// A homogeneous 4 x 4 transform (row-major) of a point; false when it lands at infinity or
// behind a perspective camera (w <= 0).
bool Project(const double m[16], const double in[3], double out[3]) {
  const double w = m[12] * in[0] + m[13] * in[1] + m[14] * in[2] + m[15];
  if (!(w > 0)) return false;
  for (int row = 0; row < 3; ++row)
    out[row] =
        (m[4 * row] * in[0] + m[4 * row + 1] * in[1] + m[4 * row + 2] * in[2] + m[4 * row + 3]) / w;
  return true;
}

// The line through two vertices of the subdivision, measuring signed distances (positive on
// the left in window coordinates); computed the same way wherever a pixel is tested.
struct SEdgeLine {
  SEdgeLine(const cv::Point2f& a, const cv::Point2f& b)
      : x(a.x), y(a.y), dx(double(b.x) - a.x), dy(double(b.y) - a.y) {
    const double length = std::sqrt(dx * dx + dy * dy);
    inverse = length > 0 ? 1 / length : 0.0;
  }
  double Distance(double px, double py) const { return (dx * (py - y) - dy * (px - x)) * inverse; }
  double x, y, dx, dy, inverse;
};

// Sets the orientation's scale to the picture's size; false when the picture is not the
// photograph the orientation describes (another aspect, or no raster size).
bool FitOrientationToImage(const cv::Mat& image, COrientation& orientation) {
  const int width = orientation.GetRasterWidth(), height = orientation.GetRasterHeight();
  if (image.empty() || width <= 0 || height <= 0) return false;
  const double scale = double(image.cols) / width;
  if (std::abs(image.rows - scale * height) > 1.0) return false;
  return orientation.SetScale(scale) != 0;
}

std::string SizeText(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

std::vector<STexturePhoto> LoadTexturePhotos(const CProjectImages& images,
                                             std::vector<std::string>& problems) {
  std::vector<STexturePhoto> photos;
  for (const std::string& path : images.GetImages()) {
    STexturePhoto photo;
    photo.path = path;
    const COrientation* orientation = images.GetOrientation(path);
    photo.oriented = orientation && orientation->HasInterior() && orientation->HasExterior();
    if (photo.oriented) {
      photo.orientation = *orientation;
      photo.image = cv::imread(path, cv::IMREAD_REDUCED_COLOR_2);
      if (photo.image.empty()) {
        problems.push_back("The photograph " + path +
                           " cannot be read: the textured view takes no colour from it.");
      } else if (!FitOrientationToImage(photo.image, photo.orientation)) {
        problems.push_back("The photograph " + path + " (" +
                           SizeText(photo.image.cols * 2, photo.image.rows * 2) +
                           " pixels) is not the picture its orientation describes (" +
                           SizeText(orientation->GetRasterWidth(), orientation->GetRasterHeight()) +
                           "): the textured view takes no colour from it.");
        photo.image.release();
      }
    }
    photos.push_back(std::move(photo));
  }
  return photos;
}

int LookThroughPhotograph(RenderWindow* window, const COrientation& orientation) {
  if (!window || !window->m_Renderer || !orientation.HasInterior() || !orientation.HasExterior())
    return 0;
  const COrientation::Point3& centre = orientation.GetN();
  const COrientation::Matrix3& rotation = orientation.GetRotMat();
  const double position[3] = {centre.X() - window->m_Center[0], centre.Y() - window->m_Center[1],
                              centre.Z() - window->m_Center[2]};
  // The camera looks along its -z axis.
  const double axis[3] = {-rotation(0, 2), -rotation(1, 2), -rotation(2, 2)};
  // How far the photographed surfaces lie: from the mean ground sampling distance, else the
  // middle of the window's streams.
  const double focalPixels = orientation.GetFocalLength() / orientation.GetPixelSize();
  double depth = orientation.GetMeanGSD() * focalPixels;
  if (!(depth > 0)) {
    const double toMiddle[3] = {-position[0], -position[1], -position[2]};
    depth = std::max(Dot(toMiddle, axis), 1e-3);
  }
  vtkCamera* camera = window->m_Renderer->GetActiveCamera();
  camera->SetPosition(position);
  camera->SetFocalPoint(position[0] + depth * axis[0], position[1] + depth * axis[1],
                        position[2] + depth * axis[2]);
  camera->SetViewUp(rotation(0, 1), rotation(1, 1), rotation(2, 1));
  camera->SetParallelScale(orientation.GetRasterHeight() / 2.0 * depth / focalPixels);
  window->m_Renderer->ResetCameraClippingRange();
  return RefreshViewMatrices(window);
}

// A triangle of the subdivision that a photograph colours: its vertices in increasing order
// (so that its plane is computed the same way however it was reached), a point of its plane
// and the plane's normal, in scene coordinates.
struct CViewTexture::STriangle {
  int vertices[3];
  double origin[3];
  double normal[3];
  int image;
};

CViewTexture::CViewTexture(RenderWindow* window, std::vector<STexturePhoto> photos)
    : m_Window(window), m_Photos(std::move(photos)) {
  std::fill(std::begin(m_WorldToView), std::end(m_WorldToView), 0.0);
  std::fill(std::begin(m_ViewToWorld), std::end(m_ViewToWorld), 0.0);
}

CViewTexture::~CViewTexture() = default;

std::string CViewTexture::GetMainPath() const {
  return m_FullIndex >= 0 ? m_Photos[m_FullIndex].path : std::string();
}

int CViewTexture::UpdateCamera() {
  if (!m_Window || !m_Window->m_Renderer || !m_Window->m_RenderWindow) return 0;
  vtkCamera* camera = m_Window->m_Renderer->GetActiveCamera();
  if (!camera) return 0;
  const int* size = m_Window->m_RenderWindow->GetSize();
  if (size[0] <= 0 || size[1] <= 0 || !RefreshViewMatrices(m_Window)) return 0;
  camera->GetPosition(m_Position);
  camera->GetFocalPoint(m_FocalPoint);
  double length = 0;
  for (int axis = 0; axis < 3; ++axis) {
    m_Direction[axis] = m_FocalPoint[axis] - m_Position[axis];
    length += m_Direction[axis] * m_Direction[axis];
  }
  length = std::sqrt(length);
  if (!(length > 0)) return 0;
  for (double& axis : m_Direction) axis /= length;
  m_PixelSize = m_Window->m_PixelSize;
  const vtkMatrix4x4* toView = m_Window->m_WorldToView->GetMatrix();
  vtkNew<vtkMatrix4x4> toWorld;
  vtkMatrix4x4::Invert(toView, toWorld);
  for (int i = 0; i < 16; ++i) {
    m_WorldToView[i] = toView->GetElement(i / 4, i % 4);
    m_ViewToWorld[i] = toWorld->GetElement(i / 4, i % 4);
  }
  ResetSubdivision(size[0], size[1]);
  return 1;
}

void CViewTexture::ResetSubdivision(int width, int height) {
  m_Width = width;
  m_Height = height;
  m_Subdivision = std::make_unique<cv::Subdiv2D>(cv::Rect(0, 0, width, height));
  m_Vertices.clear();
}

int CViewTexture::DrawTextured(CNimbex* cloud) {
  if (!cloud || !UpdateCamera() || m_Window->m_Drawing) return 0;
  // A textured stream loads the light budget of its texture delta and is not rendered: the
  // picture comes from the photographs.
  const int wasActive = cloud->IsTextureActive();
  cloud->PutTextureActive(1);
  WinImage unused;
  DrawSpClouds(m_Window->m_hWnd, &unused, nullptr, cloud, nullptr);
  cloud->PutTextureActive(wasActive);
  return TexturePoints(cloud->GetRenderPolyData());
}

int CViewTexture::TexturePoints(vtkPolyData* points) {
  if (!m_Subdivision || !points || !points->GetPoints()) return 0;
  const vtkIdType count = points->GetNumberOfPoints();
  if (count < kMinPoints) return 0;
  m_PointCount = static_cast<int>(count);
  m_Points.resize(count);
  for (vtkIdType i = 0; i < count; ++i) {
    double p[3];
    points->GetPoint(i, p);
    m_Points[i] = {p[0], p[1], p[2]};
  }
  SelectAndTriangulate(points);
  if (m_Output.rows != m_Height || m_Output.cols != m_Width)
    m_Output.create(m_Height, m_Width, CV_8UC3);
  m_Output.setTo(cv::Scalar::all(0));
  PrepareRays();
  if (m_PixelMethod == ETexturePixels::Triangles)
    FillByTriangles();
  else
    FillByPointLocation();
  return 1;
}

// The points inside the window, nearest the camera first (ties by index), with their
// normalised device coordinates.
std::vector<int> CViewTexture::DepthOrder(std::vector<cv::Point2d>& ndc) const {
  std::vector<std::pair<double, int>> depths;
  std::vector<cv::Point2d> all(m_Points.size());
  for (size_t i = 0; i < m_Points.size(); ++i) {
    const double p[3] = {m_Points[i].x, m_Points[i].y, m_Points[i].z};
    double view[3];
    if (!Project(m_WorldToView, p, view)) continue;
    const float u = float((view[0] + 1) * m_Width / 2 - 0.5);
    const float v = float((1 - view[1]) * m_Height / 2 - 0.5);
    if (!(u >= 0 && u < m_Width && v >= 0 && v < m_Height)) continue;
    all[i] = {view[0], view[1]};
    const double offset[3] = {p[0] - m_Position[0], p[1] - m_Position[1], p[2] - m_Position[2]};
    depths.emplace_back(Dot(offset, m_Direction), int(i));
  }
  std::sort(depths.begin(), depths.end());
  std::vector<int> order(depths.size());
  ndc.resize(depths.size());
  for (size_t k = 0; k < depths.size(); ++k) {
    order[k] = depths[k].second;
    ndc[k] = all[order[k]];
  }
  return order;
}

void CViewTexture::SelectAndTriangulate(vtkPolyData* points) {
  std::vector<cv::Point2d> ndc;
  const std::vector<int> order = DepthOrder(ndc);
  if (m_Mask.rows != m_Height || m_Mask.cols != m_Width) m_Mask.create(m_Height, m_Width, CV_8UC1);
  m_Mask.setTo(cv::Scalar::all(0));
  vtkDataArray* normals =
      points->GetPointData() ? points->GetPointData()->GetArray("Normals") : nullptr;
  if (normals && normals->GetNumberOfComponents() != 3) normals = nullptr;

  std::vector<SSelected> selected;
  double best = std::numeric_limits<double>::max();
  int main = -1;
  for (size_t k = 0; k < order.size(); ++k) {
    const int i = order[k];
    const float u = float((ndc[k].x + 1) * m_Width / 2 - 0.5);
    const float v = float((1 - ndc[k].y) * m_Height / 2 - 0.5);
    const int column = static_cast<int>(std::lround(u)), row = static_cast<int>(std::lround(v));
    if (CountEmpty(column, row) < kMinEmpty) continue;
    const double absolute[3] = {m_Points[i].x + m_Window->m_Center[0],
                                m_Points[i].y + m_Window->m_Center[1],
                                m_Points[i].z + m_Window->m_Center[2]};
    float normal[3];
    if (normals) {
      double tuple[3];
      normals->GetTuple(i, tuple);
      std::copy(tuple, tuple + 3, normal);
    }
    const int image = FirstPhotoSeeing(absolute, normals ? normal : nullptr);
    selected.push_back({cv::Point2f(u, v), {i, image}});
    if (image >= 0) {
      const double r = std::hypot(ndc[k].x, ndc[k].y);
      if (r < best) {
        best = r;
        main = image;
      }
    }
    // Every triangulated point claims its square, also one no photograph sees: what it hides
    // must not be textured through it.
    Claim(column, row);
  }
  Triangulate(selected);
  LoadMainPhoto(main);
}

// The Delaunay triangulation of the selected points does not depend on the order they come
// in; inserted band by band across the window, each insertion starts its search next to the
// last one. A point at the very place of a nearer one keeps the nearer one's record.
void CViewTexture::Triangulate(std::vector<SSelected>& selected) {
  auto band = [](const SSelected& point) { return static_cast<int>(point.at.y) / kInsertionBand; };
  std::stable_sort(selected.begin(), selected.end(), [&band](const auto& a, const auto& b) {
    const int bandA = band(a), bandB = band(b);
    if (bandA != bandB) return bandA < bandB;
    return bandA % 2 == 0 ? a.at.x < b.at.x : a.at.x > b.at.x;
  });
  for (const SSelected& point : selected) {
    const int vertex = m_Subdivision->insert(point.at);
    const size_t slot = static_cast<size_t>(vertex - kFirstPointVertex);
    if (slot >= m_Vertices.size()) m_Vertices.resize(slot + 1, {-1, -1});
    if (m_Vertices[slot].point < 0) m_Vertices[slot] = point.record;
  }
}

int CViewTexture::FirstPhotoSeeing(const double absolute[3], const float* normal) const {
  for (size_t j = 0; j < m_Photos.size(); ++j) {
    const STexturePhoto& photo = m_Photos[j];
    if (!photo.oriented || photo.image.empty()) continue;
    if (normal) {
      const COrientation::Point3& centre = photo.orientation.GetN();
      double ray[3] = {absolute[0] - centre.X(), absolute[1] - centre.Y(),
                       absolute[2] - centre.Z()};
      const double length = std::sqrt(Dot(ray, ray));
      if (!(length > 0)) continue;
      for (double& axis : ray) axis /= length;
      const double facing[3] = {normal[0], normal[1], normal[2]};
      if (Dot(ray, facing) > 0 || Dot(ray, m_Direction) < 0) continue;
    }
    double column, row;
    if (!photo.orientation.Pt3dToPix(absolute[0], absolute[1], absolute[2], column, row)) continue;
    const int x = Floor(column), y = Floor(row);
    if (x < kPhotoBorder || x >= photo.image.cols - kPhotoBorder || y < kPhotoBorder ||
        y >= photo.image.rows - kPhotoBorder)
      continue;
    const cv::Vec3b& pixel = photo.image.at<cv::Vec3b>(y, x);
    if (pixel[0] || pixel[1] || pixel[2]) return static_cast<int>(j);
  }
  return -1;
}

int CViewTexture::CountEmpty(int column, int row) const {
  const int top = std::max(0, row - kSquareHalf),
            bottom = std::min(m_Height - 1, row + kSquareHalf);
  const int left = std::max(0, column - kSquareHalf);
  const int right = std::min(m_Width - 1, column + kSquareHalf);
  int empty = 0;
  for (int y = top; y <= bottom; ++y) {
    const uchar* line = m_Mask.ptr<uchar>(y);
    for (int x = left; x <= right; ++x) empty += line[x] == 0;
  }
  return empty;
}

void CViewTexture::Claim(int column, int row) {
  const int top = std::max(0, row - kSquareHalf),
            bottom = std::min(m_Height - 1, row + kSquareHalf);
  const int left = std::max(0, column - kSquareHalf);
  const int right = std::min(m_Width - 1, column + kSquareHalf);
  if (top > bottom || left > right) return;
  m_Mask(cv::Rect(left, top, right - left + 1, bottom - top + 1)).setTo(cv::Scalar::all(255));
}

// The main photograph at full resolution; one that cannot be read, or is not the picture its
// orientation describes, is not used (its half-size picture serves).
void CViewTexture::LoadMainPhoto(int main) {
  if (main < 0 || main == m_FullIndex) return;
  m_FullIndex = main;
  m_FullImage = cv::imread(m_Photos[main].path, cv::IMREAD_COLOR);
  m_FullOrientation = m_Photos[main].orientation;
  if (!FitOrientationToImage(m_FullImage, m_FullOrientation)) m_FullImage.release();
}

const CViewTexture::SVertex* CViewTexture::VertexRecord(int vertex) const {
  const int slot = vertex - kFirstPointVertex;
  if (slot < 0 || slot >= static_cast<int>(m_Vertices.size())) return nullptr;
  return m_Vertices[slot].point >= 0 ? &m_Vertices[slot] : nullptr;
}

// Both neighbours' vertices must be points that a photograph sees; the triangle takes the
// photograph of the vertex latest in the list, the only one that may see all three (each
// vertex took the first photograph that sees it).
bool CViewTexture::MakeTriangle(const int vertices[3], STriangle& triangle) const {
  std::copy(vertices, vertices + 3, triangle.vertices);
  std::sort(triangle.vertices, triangle.vertices + 3);
  triangle.image = -1;
  const cv::Point3d* corner[3];
  for (int k = 0; k < 3; ++k) {
    const SVertex* record = VertexRecord(triangle.vertices[k]);
    if (!record || record->image < 0) return false;
    triangle.image = std::max(triangle.image, record->image);
    corner[k] = &m_Points[record->point];
  }
  const double a[3] = {corner[1]->x - corner[0]->x, corner[1]->y - corner[0]->y,
                       corner[1]->z - corner[0]->z};
  const double b[3] = {corner[2]->x - corner[0]->x, corner[2]->y - corner[0]->y,
                       corner[2]->z - corner[0]->z};
  Cross(a, b, triangle.normal);
  triangle.origin[0] = corner[0]->x;
  triangle.origin[1] = corner[0]->y;
  triangle.origin[2] = corner[0]->z;
  return Dot(triangle.normal, triangle.normal) > 0;
}

// The homogeneous scene points of every pixel centre on the near and far clipping planes are
// sums of a column's part and a row's part.
void CViewTexture::PrepareRays() {
  const double* m = m_ViewToWorld;
  m_RayColumns.resize(m_Width);
  for (int column = 0; column < m_Width; ++column) {
    const double x = (column + 0.5) / (m_Width / 2.0) - 1;
    for (int j = 0; j < 4; ++j) m_RayColumns[column][j] = x * m[4 * j];
  }
  m_RayRows.resize(m_Height);
  for (int row = 0; row < m_Height; ++row) {
    const double y = 1 - (row + 0.5) / (m_Height / 2.0);
    for (int j = 0; j < 4; ++j) {
      m_RayRows[row][j] = y * m[4 * j + 1] - m[4 * j + 2] + m[4 * j + 3];
      m_RayRows[row][4 + j] = y * m[4 * j + 1] + m[4 * j + 2] + m[4 * j + 3];
    }
  }
}

// The line through the pixel's centre, from the near to the far clipping plane.
void CViewTexture::Ray(int column, int row, double from[3], double to[3]) const {
  const std::array<double, 4>& across = m_RayColumns[column];
  const std::array<double, 8>& down = m_RayRows[row];
  const double nearW = across[3] + down[3], farW = across[3] + down[7];
  if (!(nearW > 0) || !(farW > 0)) {
    std::fill(to, to + 3, std::numeric_limits<double>::quiet_NaN());
    return;
  }
  for (int j = 0; j < 3; ++j) {
    from[j] = (across[j] + down[j]) / nearW;
    to[j] = (across[j] + down[4 + j]) / farW;
  }
}

void CViewTexture::ShadeTrianglePixel(const STriangle& triangle, int column, int row) {
  double from[3], to[3];
  Ray(column, row, from, to);
  const double along[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
  const double facing = Dot(triangle.normal, along);
  if (!std::isfinite(facing) || facing == 0) return;
  const double offset[3] = {triangle.origin[0] - from[0], triangle.origin[1] - from[1],
                            triangle.origin[2] - from[2]};
  const double t = Dot(triangle.normal, offset) / facing;
  const double scene[3] = {from[0] + t * along[0], from[1] + t * along[1], from[2] + t * along[2]};
  Colour(scene, triangle.image, column, row);
}

void CViewTexture::ShadeVertexPixel(int column, int row, int vertex) {
  const SVertex* record = VertexRecord(vertex);
  if (!record || record->image < 0) return;
  const cv::Point3d& point = m_Points[record->point];
  const double scene[3] = {point.x, point.y, point.z};
  Colour(scene, record->image, column, row);
}

CViewTexture::SSource CViewTexture::SourceOf(int image) const {
  if (image == m_FullIndex && !m_FullImage.empty()) return {&m_FullImage, &m_FullOrientation};
  return {&m_Photos[image].image, &m_Photos[image].orientation};
}

void CViewTexture::Colour(const double scene[3], int image, int column, int row) {
  const SSource source = SourceOf(image);
  double x, y;
  if (!source.orientation->Pt3dToPix(scene[0] + m_Window->m_Center[0],
                                     scene[1] + m_Window->m_Center[1],
                                     scene[2] + m_Window->m_Center[2], x, y))
    return;
  const int px = Floor(x), py = Floor(y);
  if (px < 0 || py < 0 || px >= source.image->cols || py >= source.image->rows) return;
  m_Output.at<cv::Vec3b>(row, column) = source.image->at<cv::Vec3b>(py, px);
}

// A pixel located in the subdivision, in the triangle left of each of `edges`. Where it lies
// on a vertex it takes that vertex; on an edge, the textured one of the two triangles beside
// it (the one with the smaller vertices when both are), so that the answer does not depend on
// the way the location walked there.
void CViewTexture::ShadePixel(int column, int row, const int edges[3]) {
  int located[3];
  cv::Point2f corner[3];
  for (int k = 0; k < 3; ++k) located[k] = m_Subdivision->edgeOrg(edges[k], &corner[k]);
  double distance[3];
  for (int k = 0; k < 3; ++k)
    distance[k] = std::abs(SEdgeLine(corner[k], corner[(k + 1) % 3]).Distance(column, row));
  for (int k = 0; k < 3; ++k)
    if (distance[k] < kEdgeTolerance && distance[(k + 2) % 3] < kEdgeTolerance)
      return ShadeVertexPixel(column, row, located[k]);
  STriangle triangle;
  const bool textured = MakeTriangle(located, triangle);
  for (int k = 0; k < 3; ++k) {
    if (distance[k] >= kEdgeTolerance) continue;
    int across[3] = {m_Subdivision->rotateEdge(edges[k], 2), 0, 0};
    across[1] = m_Subdivision->getEdge(across[0], cv::Subdiv2D::NEXT_AROUND_LEFT);
    across[2] = m_Subdivision->getEdge(across[1], cv::Subdiv2D::NEXT_AROUND_LEFT);
    int other[3];
    for (int j = 0; j < 3; ++j) other[j] = m_Subdivision->edgeOrg(across[j]);
    STriangle beside;
    if (MakeTriangle(other, beside) &&
        (!textured || std::lexicographical_compare(beside.vertices, beside.vertices + 3,
                                                   triangle.vertices, triangle.vertices + 3)))
      return ShadeTrianglePixel(beside, column, row);
    break;
  }
  if (textured) ShadeTrianglePixel(triangle, column, row);
}

void CViewTexture::ShadeLocated(int column, int row) {
  int edge = 0, vertex = 0;
  const int where = m_Subdivision->locate(cv::Point2f(float(column), float(row)), edge, vertex);
  if (where == cv::Subdiv2D::PTLOC_VERTEX) return ShadeVertexPixel(column, row, vertex);
  if (where != cv::Subdiv2D::PTLOC_INSIDE && where != cv::Subdiv2D::PTLOC_ON_EDGE) return;
  int edges[3] = {edge, 0, 0};
  edges[1] = m_Subdivision->getEdge(edges[0], cv::Subdiv2D::NEXT_AROUND_LEFT);
  edges[2] = m_Subdivision->getEdge(edges[1], cv::Subdiv2D::NEXT_AROUND_LEFT);
  ShadePixel(column, row, edges);
}

void CViewTexture::FillByPointLocation() {
  for (int row = 0; row < m_Height; ++row)
    for (int column = 0; column < m_Width; ++column) ShadeLocated(column, row);
}

// Every triangle of points colours the pixels strictly inside it; the few pixels on an edge
// or a vertex are located as the reference does.
void CViewTexture::FillByTriangles() {
  std::vector<int> leading;
  m_Subdivision->getLeadingEdgeList(leading);
  cv::Mat onEdge(m_Height, m_Width, CV_8UC1, cv::Scalar::all(0));
  for (const int first : leading) {
    int edges[3] = {first, 0, 0};
    edges[1] = m_Subdivision->getEdge(edges[0], cv::Subdiv2D::NEXT_AROUND_LEFT);
    edges[2] = m_Subdivision->getEdge(edges[1], cv::Subdiv2D::NEXT_AROUND_LEFT);
    if (m_Subdivision->getEdge(edges[2], cv::Subdiv2D::NEXT_AROUND_LEFT) != first) continue;
    int vertices[3];
    cv::Point2f corner[3];
    bool points = true;
    for (int k = 0; k < 3; ++k) {
      vertices[k] = m_Subdivision->edgeOrg(edges[k], &corner[k]);
      points = points && vertices[k] >= kFirstPointVertex;
    }
    if (!points) continue;
    const double area = (double(corner[1].x) - corner[0].x) * (double(corner[2].y) - corner[0].y) -
                        (double(corner[1].y) - corner[0].y) * (double(corner[2].x) - corner[0].x);
    if (area == 0) continue;
    const double side = area > 0 ? 1.0 : -1.0;
    STriangle triangle;
    const bool textured = MakeTriangle(vertices, triangle);
    const SEdgeLine lines[3] = {
        {corner[0], corner[1]}, {corner[1], corner[2]}, {corner[2], corner[0]}};
    const float* xs[3] = {&corner[0].x, &corner[1].x, &corner[2].x};
    const int left = std::max(0, int(std::ceil(std::min({*xs[0], *xs[1], *xs[2]}) - 1)));
    const int right = std::min(m_Width - 1, Floor(std::max({*xs[0], *xs[1], *xs[2]}) + 1));
    const int top =
        std::max(0, int(std::ceil(std::min({corner[0].y, corner[1].y, corner[2].y}) - 1)));
    const int bottom =
        std::min(m_Height - 1, Floor(std::max({corner[0].y, corner[1].y, corner[2].y}) + 1));
    for (int row = top; row <= bottom; ++row)
      for (int column = left; column <= right; ++column) {
        double nearest = std::numeric_limits<double>::max();
        for (int k = 0; k < 3; ++k)
          nearest = std::min(nearest, side * lines[k].Distance(column, row));
        if (nearest <= -kEdgeTolerance) continue;
        if (nearest < kEdgeTolerance)
          onEdge.at<uchar>(row, column) = 1;
        else if (textured)
          ShadeTrianglePixel(triangle, column, row);
      }
  }
  for (int row = 0; row < m_Height; ++row)
    for (int column = 0; column < m_Width; ++column)
      if (onEdge.at<uchar>(row, column)) ShadeLocated(column, row);
}
