#include "nimbex/demo/PhotoRenderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "nimbex/demo/DemoRandom.h"
#include "nimbex/demo/DemoScene.h"
#include "nimbex/platform/Orientation.h"

namespace {

using Point2 = COrientation::Point2;
using Point3 = COrientation::Point3;
using Vector3 = COrientation::Vector3;

constexpr double kPi = 3.14159265358979323846;
// A point's disc reaches this share of the spacing to its neighbours: enough to close the
// surface between them.
constexpr double kSplatReach = 1.2;
constexpr float kMinSplatRadius = 0.75f;  // always covers the pixel under the point
constexpr float kMaxSplatRadius = 250;
constexpr double kNearest = 0.3;
// Discs within this depth of the nearest surface are blended with it: a share of the point
// spacing plus a share of the distance. Leaves blend deeper: their discs face the camera.
constexpr double kBlendSpacing = 0.6;
constexpr double kBlendLeaves = 3;
constexpr double kBlendDistance = 0.005;
// Leaves are drawn smaller than their spacing: the sky shows through a crown here and there.
constexpr double kLeafReach = 0.75;
// The sky and the land below the horizon are computed on a coarse grid of rays.
constexpr int kRayStep = 16;

constexpr float kSkyHorizon[3] = {212, 221, 229};
constexpr float kSkyZenith[3] = {88, 136, 201};
constexpr float kCloud[3] = {238, 240, 244};
constexpr float kHaze[3] = {178, 186, 184};
constexpr float kDistantLand[3] = {96, 110, 80};

// A point's disc on the picture, an ellipse where its surface is seen at a slant: its centre,
// the depth there and how the depth changes across the picture (the plane of its surface),
// its radius, its narrower radius along (axisU, axisV), and how far behind the nearest
// surface it still blends in.
struct Splat {
  float u, v, depth, slopeU, slopeV, radius, narrow, axisU, axisV, tolerance;
  uint8_t rgb[3];
};

float Mixed(float a, float b, double t) {
  return float(a + (b - a) * t);
}

double SmoothStep(double low, double high, double x) {
  const double t = std::clamp((x - low) / (high - low), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Smooth value noise in [0, 1): random values on the integer lattice, interpolated.
double ValueNoise(double x, double y, uint64_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const int64_t ix = int64_t(fx), iy = int64_t(fy);
  auto lattice = [seed](int64_t i, int64_t j) {
    return double(Mix(Mix(seed, uint64_t(i)), uint64_t(j)) >> 11) * 0x1.0p-53;
  };
  const double tx = SmoothStep(0, 1, x - fx), ty = SmoothStep(0, 1, y - fy);
  const double bottom = lattice(ix, iy) + (lattice(ix + 1, iy) - lattice(ix, iy)) * tx;
  const double top = lattice(ix, iy + 1) + (lattice(ix + 1, iy + 1) - lattice(ix, iy + 1)) * tx;
  return bottom + (top - bottom) * ty;
}

// Fair-weather clouds on a layer above the camera: how much of the sky they cover along a
// direction of the given elevation.
double CloudCover(const Vector3& direction, uint64_t seed) {
  if (direction.Z() <= 0.02) return 0;
  const double x = 2.2 * direction.X() / direction.Z(), y = 2.2 * direction.Y() / direction.Z();
  double sum = 0, amplitude = 0.5, frequency = 1;
  for (int octave = 0; octave < 4; ++octave) {
    sum += amplitude * ValueNoise(x * frequency, y * frequency, Mix(seed, octave));
    amplitude /= 2;
    frequency *= 2.1;
  }
  return SmoothStep(0.52, 0.78, sum) * SmoothStep(0.02, 0.2, direction.Z());
}

// What shows along a ray that meets no point: the sky's gradient with clouds above the
// horizon, hazy distant land below it.
void Background(const Vector3& direction, uint64_t seed, float rgb[3]) {
  const double elevation = std::asin(std::clamp(direction.Z(), -1.0, 1.0));
  if (elevation >= 0) {
    const double up = std::pow(std::min(1.0, elevation / (kPi / 3)), 0.6);
    const double cloud = CloudCover(direction, seed);
    for (int c = 0; c < 3; ++c)
      rgb[c] = Mixed(Mixed(kSkyHorizon[c], kSkyZenith[c], up), kCloud[c], cloud);
  } else {
    const double down = std::pow(std::min(1.0, -elevation / (6 * kPi / 180)), 0.7);
    for (int c = 0; c < 3; ++c) rgb[c] = Mixed(kHaze[c], kDistantLand[c], down);
  }
}

class CPhotoRenderer {
 public:
  CPhotoRenderer(const CDemoScene& scene, const COrientation& orientation)
      : m_Scene(scene),
        m_Orientation(orientation),
        m_Width(orientation.GetRasterWidth()),
        m_Height(orientation.GetRasterHeight()),
        m_PixelCount(size_t(m_Width) * size_t(m_Height)) {}

  RenderedPhoto Render(uint64_t seed) {
    Project();
    DrawDepth();
    Blend();
    RenderedPhoto photo;
    photo.meanDepth = MeanDepth();
    photo.image = Finish(seed);
    return photo;
  }

 private:
  // Every point in front of the camera whose disc may reach the picture, with its pixel,
  // depth and disc.
  void Project() {
    const double focal = m_Orientation.GetFocalLength() / m_Orientation.GetPixelSize();
    const COrientation::Matrix3 toCamera = m_Orientation.GetRotMat().Transpose();
    const Point3& origin = m_Scene.GetOrigin();
    const Point3 centre = m_Orientation.GetN() - origin;
    // Generous: the principal point and the lens move the picture's edges a little.
    const double reachX = 1.3 * m_Width / 2 / focal, reachY = 1.3 * m_Height / 2 / focal;
    for (const DemoScenePoint& p : m_Scene.GetPoints()) {
      const Vector3 camera = toCamera * (Point3(p.x, p.y, p.z) - centre);
      const double depth = -camera.Z();
      if (depth < kNearest) continue;
      const bool leaves = p.classification >= 3 && p.classification <= 5;
      const double size = (leaves ? kLeafReach : kSplatReach) * p.spacing;
      if (std::abs(camera.X()) - size > depth * reachX ||
          std::abs(camera.Y()) - size > depth * reachY)
        continue;
      double column, row;
      if (!m_Orientation.Pt3dToPix(origin.X() + p.x, origin.Y() + p.y, origin.Z() + p.z, column,
                                   row))
        continue;
      const float radius =
          std::clamp(float(focal * size / depth), kMinSplatRadius, kMaxSplatRadius);
      const Vector3 normal = toCamera * (Vector3(p.normal[0], p.normal[1], p.normal[2]) / 127.0);
      if (column + radius < 0 || row + radius < 0 || column - radius > m_Width ||
          row - radius > m_Height)
        continue;
      Splat splat{float(column),
                  float(row),
                  float(depth),
                  0,
                  0,
                  radius,
                  radius,
                  1,
                  0,
                  0,
                  {p.rgb[0], p.rgb[1], p.rgb[2]}};
      splat.tolerance =
          float((leaves ? kBlendLeaves : kBlendSpacing) * p.spacing + kBlendDistance * depth);
      if (!leaves && normal.SquaredLength() > 0) TiltToSurface(splat, camera, normal, focal, size);
      m_Splats.push_back(splat);
    }
  }

  // The disc lies in the plane through the point with the surface's normal (camera
  // coordinates). On a ray through (a, b, -1) the plane lies at depth
  // d = c / (nx a + ny b - nz) with c = n . point, so dd/da = -d^2 nx / c and
  // dd/db = -d^2 ny / c; a pixel is 1/focal in a and -1/focal in b. The disc is foreshortened
  // along the direction in which the depth changes, by the cosine of the angle between the
  // normal and the line of sight; across that narrow radius the depth changes by at most the
  // disc's size.
  static void TiltToSurface(Splat& s, const Vector3& point, const Vector3& normal, double focal,
                            double size) {
    const double c = normal.Dot(point);
    const double slant = std::abs(c) / point.Length();
    s.narrow = std::max(kMinSplatRadius, float(s.radius * slant));
    if (slant < 1e-9) return;
    const double d2 = double(s.depth) * s.depth;
    double slopeU = -d2 * normal.X() / c / focal, slopeV = d2 * normal.Y() / c / focal;
    const double steepness = std::hypot(slopeU, slopeV);
    if (steepness == 0) return;
    s.axisU = float(slopeU / steepness);
    s.axisV = float(slopeV / steepness);
    const double limit = size / s.narrow;
    if (steepness > limit) slopeU *= limit / steepness, slopeV *= limit / steepness;
    s.slopeU = float(slopeU);
    s.slopeV = float(slopeV);
  }

  // Visits the pixels whose centres the splat's ellipse covers, with their squared distance
  // from its centre in units of its radii and the depth there.
  template <class Visit>
  void ForEachPixel(const Splat& s, Visit visit) const {
    const float r2 = s.radius * s.radius, n2 = s.narrow * s.narrow;
    const int y0 = std::max(0, int(std::ceil(s.v - s.radius - 0.5f)));
    const int y1 = std::min(m_Height - 1, int(std::floor(s.v + s.radius - 0.5f)));
    for (int y = y0; y <= y1; ++y) {
      const float dy = y + 0.5f - s.v;
      const float half = std::sqrt(std::max(0.0f, r2 - dy * dy));
      const int x0 = std::max(0, int(std::ceil(s.u - half - 0.5f)));
      const int x1 = std::min(m_Width - 1, int(std::floor(s.u + half - 0.5f)));
      for (int x = x0; x <= x1; ++x) {
        const float dx = x + 0.5f - s.u;
        const float along = dx * s.axisU + dy * s.axisV, across = dy * s.axisU - dx * s.axisV;
        const float distance = along * along / n2 + across * across / r2;
        if (distance > 1) continue;
        visit(size_t(y) * m_Width + x, distance, s.depth + s.slopeU * dx + s.slopeV * dy);
      }
    }
  }

  void DrawDepth() {
    m_Depth.assign(m_PixelCount, std::numeric_limits<float>::infinity());
    for (const Splat& s : m_Splats)
      ForEachPixel(s, [this](size_t pixel, float, float depth) {
        m_Depth[pixel] = std::min(m_Depth[pixel], depth);
      });
  }

  // The discs of the nearest surface, each weighted down to almost nothing at its rim, so
  // that no rim shows.
  void Blend() {
    m_Colour.assign(3 * m_PixelCount, 0);
    m_Weight.assign(m_PixelCount, 0);
    for (const Splat& s : m_Splats)
      ForEachPixel(s, [this, &s](size_t pixel, float distance, float depth) {
        if (depth > m_Depth[pixel] + s.tolerance) return;
        const float weight = (1 - distance) * (1 - distance) + 0.01f;
        for (int c = 0; c < 3; ++c) m_Colour[3 * pixel + c] += weight * s.rgb[c];
        m_Weight[pixel] += weight;
      });
  }

  double MeanDepth() const {
    double sum = 0;
    size_t count = 0;
    for (float depth : m_Depth)
      if (std::isfinite(depth)) sum += depth, ++count;
    return count ? sum / double(count) : 0;
  }

  // The rays through a coarse grid of pixels, to interpolate the background between.
  std::vector<Vector3> BackgroundRays(int columns, int rows) const {
    std::vector<Vector3> rays(size_t(columns) * size_t(rows));
    for (int j = 0; j < rows; ++j)
      for (int i = 0; i < columns; ++i) {
        Vector3 ray;
        if (!m_Orientation.PixToRay(Point2(i * kRayStep, j * kRayStep), ray))
          ray = m_Orientation.GetRotMat() * Vector3(0, 0, -1);
        rays[size_t(j) * columns + i] = ray;
      }
    return rays;
  }

  cv::Mat Finish(uint64_t seed) {
    CRandom random(seed);
    const double exposure = random.Between(0.95, 1.06);
    const int columns = m_Width / kRayStep + 2, rows = m_Height / kRayStep + 2;
    const std::vector<Vector3> rays = BackgroundRays(columns, rows);
    const double cx = m_Width / 2.0, cy = m_Height / 2.0;
    cv::Mat picture(m_Height, m_Width, CV_32FC3);
    for (int y = 0; y < m_Height; ++y) {
      cv::Vec3f* line = picture.ptr<cv::Vec3f>(y);
      for (int x = 0; x < m_Width; ++x) {
        const size_t pixel = size_t(y) * m_Width + x;
        float rgb[3];
        if (m_Weight[pixel] > 0) {
          for (int c = 0; c < 3; ++c) rgb[c] = m_Colour[3 * pixel + c] / m_Weight[pixel];
        } else {
          const int i = x / kRayStep, j = y / kRayStep;
          const double tx = double(x % kRayStep) / kRayStep, ty = double(y % kRayStep) / kRayStep;
          auto at = [&](int di, int dj) { return rays[size_t(j + dj) * columns + i + di]; };
          Vector3 ray = (at(0, 0) * (1 - tx) + at(1, 0) * tx) * (1 - ty) +
                        (at(0, 1) * (1 - tx) + at(1, 1) * tx) * ty;
          ray.Normalize();
          Background(ray, seed, rgb);
        }
        const double off = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (cx * cx + cy * cy);
        const double light = exposure * (1 - 0.22 * off);
        line[x] = cv::Vec3f(float(rgb[2] * light), float(rgb[1] * light), float(rgb[0] * light));
      }
    }
    cv::GaussianBlur(picture, picture, cv::Size(3, 3), 0.6);
    cv::Mat image(m_Height, m_Width, CV_8UC3);
    for (int y = 0; y < m_Height; ++y) {
      const cv::Vec3f* from = picture.ptr<cv::Vec3f>(y);
      cv::Vec3b* to = image.ptr<cv::Vec3b>(y);
      for (int x = 0; x < m_Width; ++x)
        for (int c = 0; c < 3; ++c)
          to[x][c] = cv::saturate_cast<uint8_t>(from[x][c] + random.Noise(4.0));
    }
    return image;
  }

  const CDemoScene& m_Scene;
  const COrientation& m_Orientation;
  const int m_Width, m_Height;
  const size_t m_PixelCount;
  std::vector<Splat> m_Splats;
  std::vector<float> m_Depth;   // nearest surface per pixel, infinite where none
  std::vector<float> m_Colour;  // red, green, blue summed with the weights
  std::vector<float> m_Weight;
};

}  // namespace

RenderedPhoto RenderDemoPhoto(const CDemoScene& scene, const COrientation& orientation,
                              uint64_t seed) {
  return CPhotoRenderer(scene, orientation).Render(seed);
}
