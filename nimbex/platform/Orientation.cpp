#include "nimbex/platform/Orientation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include "nimbex/format/Unset.h"
#include "nimbex/platform/TextFiles.h"

namespace fs = std::filesystem;

namespace {

using Point2 = COrientation::Point2;
using Matrix3 = COrientation::Matrix3;

const double kInfinity = std::numeric_limits<double>::infinity();
const double kDegree = M_PI / 180;
// Orientation files are a few hundred bytes; anything much larger is not one.
const size_t kMaxFileSize = 64 * 1024;
const int kMaxRasterSide = 1000000;
// Squared normalised radius (r = 10^4, 89.99 degrees off axis) beyond which a lens is not
// followed any further.
const double kMaxFieldSquared = 1e8;
const double kMaxPixelStretch = 1e4;
const char kInteriorSignature[] = "orvalis-int 1";
const char kExteriorSignature[] = "orvalis-est 1";

bool IsFinite(const Matrix3& m) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (!std::isfinite(m(r, c))) return false;
  return true;
}

// Ratio of the largest to the smallest stretch of the linear part of an affine pixel map.
// A camera's pixels may be somewhat oblong, never thousands of times longer than wide; a map
// that squeezes one direction that much turns the rounding of every projection into pixels
// of error.
double StretchRatio(const Matrix3& m) {
  const double a = m(0, 0), b = m(0, 1), c = m(1, 0), d = m(1, 1);
  const double sum = a * a + b * b + c * c + d * d, determinant = std::fabs(a * d - b * c);
  const double largest =
      (sum + std::sqrt(std::max(0.0, sum * sum - 4 * determinant * determinant))) / 2;
  return determinant > 0 ? largest / determinant : kInfinity;
}

// ---- The radial lens field ----

// Derivative of the distorted radius r * (1 + k1 r^2 + k2 r^4 + k3 r^6) with respect to r,
// written in s = r^2.
double RadialGrowth(const double k[3], double s) {
  return 1 + s * (3 * k[0] + s * (5 * k[1] + s * 7 * k[2]));
}

// The positive s where the growth's own derivative 3 k1 + 10 k2 s + 21 k3 s^2 vanishes:
// between them the growth is monotonic.
std::vector<double> GrowthTurningPoints(const double k[3]) {
  std::vector<double> roots;
  const double a = 21 * k[2], b = 10 * k[1], c = 3 * k[0];
  if (a != 0) {
    const double discriminant = b * b - 4 * a * c;
    if (discriminant >= 0) {
      roots.push_back((-b - std::sqrt(discriminant)) / (2 * a));
      roots.push_back((-b + std::sqrt(discriminant)) / (2 * a));
    }
  } else if (b != 0) {
    roots.push_back(-c / b);
  }
  std::vector<double> inside;
  for (double root : roots)
    if (root > 0 && root < kMaxFieldSquared) inside.push_back(root);
  std::sort(inside.begin(), inside.end());
  inside.push_back(kMaxFieldSquared);
  return inside;
}

// The normalised radius where the radial distortion stops growing: the first zero of the
// growth, found by bisection in the monotonic stretch that holds it. Infinite when the
// distortion grows all the way.
double RadialFieldRadius(const double k[3]) {
  double low = 0;
  for (double high : GrowthTurningPoints(k)) {
    if (RadialGrowth(k, high) <= 0) {
      for (int i = 0; i < 200 && high - low > 1e-15 * high; ++i) {
        const double middle = (low + high) / 2;
        (RadialGrowth(k, middle) > 0 ? low : high) = middle;
      }
      return std::sqrt(low);
    }
    low = high;
  }
  return kInfinity;
}

// ---- Orientation files ----

struct Entry {
  int line = 0;
  std::vector<double> values;
};

struct KeySpec {
  const char* key;
  size_t count;
  bool required;
};

const KeySpec kInteriorKeys[] = {
    {"principal_distance", 1, true}, {"principal_point", 2, false},   {"pixel_size", 1, true},
    {"raster_size", 2, true},        {"pixel_to_fiducial", 6, false}, {"radial", 3, false},
    {"tangential", 2, false},
};

const KeySpec kExteriorKeys[] = {
    {"projection_centre", 3, true},
    {"omega_phi_kappa", 3, true},
    {"mounting_angle", 1, false},
    {"mean_gsd", 1, false},
};

class CKeyFileParser {
 public:
  CKeyFileParser(const fs::path& path, std::string* why) : m_Path(path), m_Why(why) {}

  // Reads `key value...` lines between the signature line and "end"; blank lines and lines
  // starting with '#' are skipped.
  template <size_t N>
  bool Parse(const char* signature, const KeySpec (&keys)[N]) {
    std::string data;
    if (!ReadRegularFile(m_Path, data, kMaxFileSize))
      return Fail(0, "cannot be read (missing, not a regular file or larger than 64 KiB)");
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
    if (data.find('\0') != std::string::npos) return Fail(0, "is not a text file");

    enum { Signature, Body, Ended } state = Signature;
    int number = 0;
    for (size_t start = 0; start < data.size();) {
      const size_t stop = std::min(data.find('\n', start), data.size());
      std::string line = data.substr(start, stop - start);
      start = stop + 1;
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::vector<std::string> words = SplitWords(line);
      if (words.empty() || words[0][0] == '#') continue;
      if (state == Ended) return Fail(number, "text after the end line");
      if (state == Signature) {
        if (words.size() != 2 || words[0] + " " + words[1] != signature)
          return Fail(number, std::string("the file does not start with \"") + signature + "\"");
        state = Body;
      } else if (words.size() == 1 && words[0] == "end") {
        state = Ended;
      } else if (!ParseEntry(number, words, keys)) {
        return false;
      }
    }
    if (state != Ended) return Fail(number, "the file is truncated: it has no end line");
    for (const KeySpec& spec : keys)
      if (spec.required && !m_Entries.count(spec.key))
        return Fail(0, std::string("the key ") + spec.key + " is missing");
    return true;
  }

  bool Has(const char* key) const { return m_Entries.count(key) != 0; }
  const Entry& Get(const char* key) const { return m_Entries.at(key); }
  double Value(const char* key, size_t index, double def) const {
    return Has(key) ? Get(key).values[index] : def;
  }

  bool Fail(int line, const std::string& problem) const {
    if (m_Why)
      *m_Why =
          m_Path.string() + (line > 0 ? ": line " + std::to_string(line) : "") + ": " + problem;
    return false;
  }

 private:
  template <size_t N>
  bool ParseEntry(int number, const std::vector<std::string>& words, const KeySpec (&keys)[N]) {
    const KeySpec* spec = std::find_if(std::begin(keys), std::end(keys),
                                       [&](const KeySpec& s) { return words[0] == s.key; });
    if (spec == std::end(keys)) return Fail(number, "unknown key \"" + words[0] + "\"");
    if (m_Entries.count(spec->key)) return Fail(number, words[0] + " is given twice");
    if (words.size() != spec->count + 1)
      return Fail(number, words[0] + " needs " + std::to_string(spec->count) + " value" +
                              (spec->count > 1 ? "s" : ""));
    Entry entry;
    entry.line = number;
    for (size_t i = 1; i < words.size(); ++i) {
      double value = 0;
      if (!ParseFiniteDouble(words[i], value))
        return Fail(number, "\"" + words[i] + "\" is not a finite number");
      entry.values.push_back(value);
    }
    m_Entries[spec->key] = entry;
    return true;
  }

  fs::path m_Path;
  std::string* m_Why;
  std::map<std::string, Entry> m_Entries;
};

// The shortest text that reads back as the same double.
std::string FormatNumber(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string FormatLine(const char* key, std::initializer_list<double> values) {
  std::string line = key;
  for (double value : values) line += " " + FormatNumber(value);
  return line + "\n";
}

bool IsRasterSide(double value) {
  return value >= 1 && value <= kMaxRasterSide && value == std::floor(value);
}

}  // namespace

COrientation::COrientation(double scale)
    : m_Scale(std::isfinite(scale) && scale > 0 ? scale : 1), m_FieldRadius(kInfinity) {}

// ---- Files ----

int COrientation::ReadINT(const fs::path& path, std::string* why) {
  CKeyFileParser file(path, why);
  if (!file.Parse(kInteriorSignature, kInteriorKeys)) return 0;

  const Entry& distance = file.Get("principal_distance");
  if (distance.values[0] <= 0)
    return file.Fail(distance.line, "the principal distance must be positive");
  const Entry& pixelSize = file.Get("pixel_size");
  if (pixelSize.values[0] <= 0) return file.Fail(pixelSize.line, "the pixel size must be positive");
  const Entry& raster = file.Get("raster_size");
  if (!IsRasterSide(raster.values[0]) || !IsRasterSide(raster.values[1]))
    return file.Fail(raster.line, "the raster size must be two whole numbers from 1 to " +
                                      std::to_string(kMaxRasterSide));

  COrientation read(*this);
  const Point2 principalPoint(file.Value("principal_point", 0, 0),
                              file.Value("principal_point", 1, 0));
  if (!read.SetInterior(distance.values[0], principalPoint, pixelSize.values[0],
                        static_cast<int>(raster.values[0]), static_cast<int>(raster.values[1])))
    return file.Fail(0, "the interior orientation is not valid");
  if (file.Has("pixel_to_fiducial")) {
    const std::vector<double>& a = file.Get("pixel_to_fiducial").values;
    if (!read.SetPixToFidMat(Matrix3(a[0], a[1], a[2], a[3], a[4], a[5], 0, 0, 1)))
      return file.Fail(file.Get("pixel_to_fiducial").line,
                       "the pixel-to-fiducial map cannot be inverted, stretches one direction "
                       "more than 10000 times the other, or reaches beyond 89.99 degrees from "
                       "the camera's axis");
  }
  if (!read.SetDistortion(file.Value("radial", 0, 0), file.Value("radial", 1, 0),
                          file.Value("radial", 2, 0), file.Value("tangential", 0, 0),
                          file.Value("tangential", 1, 0)))
    return file.Fail(file.Has("radial") ? file.Get("radial").line : 0,
                     "the lens distortion folds back inside the image, or the image reaches "
                     "beyond 89.99 degrees from the camera's axis");
  *this = read;
  return 1;
}

int COrientation::ReadEST(const fs::path& path, std::string* why) {
  CKeyFileParser file(path, why);
  if (!file.Parse(kExteriorSignature, kExteriorKeys)) return 0;
  const std::vector<double>& centre = file.Get("projection_centre").values;
  const std::vector<double>& angles = file.Get("omega_phi_kappa").values;
  const double gsd = file.Value("mean_gsd", 0, 0);
  if (gsd < 0) return file.Fail(file.Get("mean_gsd").line, "the mean GSD must not be negative");

  COrientation read(*this);
  read.SetExterior(Point3(centre[0], centre[1], centre[2]), angles[0], angles[1], angles[2]);
  read.SetMountingAngle(file.Value("mounting_angle", 0, 0));
  read.SetMeanGSD(gsd);
  *this = read;
  return 1;
}

int COrientation::Load(const fs::path& intPath, const fs::path& estPath, std::string* why) {
  COrientation read(*this);
  if (!read.ReadINT(intPath, why) || !read.ReadEST(estPath, why)) return 0;
  *this = read;
  return 1;
}

int COrientation::WriteINT(const fs::path& path) const {
  if (!m_HasInterior) return 0;
  const Matrix3& a = m_PixToFid;
  const std::string text =
      std::string(kInteriorSignature) + "\n" +
      FormatLine("principal_distance", {m_PrincipalDistance}) +
      FormatLine("principal_point", {m_PrincipalPoint.X(), m_PrincipalPoint.Y()}) +
      FormatLine("pixel_size", {m_PixelSize}) +
      FormatLine("raster_size", {double(m_Width), double(m_Height)}) +
      FormatLine("pixel_to_fiducial", {a(0, 0), a(0, 1), a(0, 2), a(1, 0), a(1, 1), a(1, 2)}) +
      FormatLine("radial", {m_Radial[0], m_Radial[1], m_Radial[2]}) +
      FormatLine("tangential", {m_Tangential[0], m_Tangential[1]}) + "end\n";
  return ReplaceFile(path, text, false) ? 1 : 0;
}

int COrientation::WriteEST(const fs::path& path) const {
  if (!m_HasExterior) return 0;
  double omega, phi, kappa;
  GetOmegaPhiKappa(omega, phi, kappa);
  const std::string text = std::string(kExteriorSignature) + "\n" +
                           FormatLine("projection_centre", {m_N.X(), m_N.Y(), m_N.Z()}) +
                           FormatLine("omega_phi_kappa", {omega, phi, kappa}) +
                           FormatLine("mounting_angle", {m_MountingAngle}) +
                           FormatLine("mean_gsd", {m_MeanGSD}) + "end\n";
  return ReplaceFile(path, text, false) ? 1 : 0;
}

// ---- Setting the orientation ----

int COrientation::SetInterior(double principalDistance, const Point2& principalPoint,
                              double pixelSize, int width, int height) {
  const bool valid =
      std::isfinite(principalDistance) && principalDistance > 0 && std::isfinite(pixelSize) &&
      pixelSize > 0 && std::isfinite(principalPoint.X()) && std::isfinite(principalPoint.Y()) &&
      width >= 1 && width <= kMaxRasterSide && height >= 1 && height <= kMaxRasterSide;
  if (!valid) return 0;
  m_HasInterior = true;
  m_PrincipalDistance = principalDistance;
  m_PrincipalPoint = principalPoint;
  m_PixelSize = pixelSize;
  m_Width = width;
  m_Height = height;
  m_PixToFid =
      Matrix3(pixelSize, 0, -pixelSize * width / 2, 0, -pixelSize, pixelSize * height / 2, 0, 0, 1);
  m_FidToPix = m_PixToFid.Inverse();
  std::fill(std::begin(m_Radial), std::end(m_Radial), 0);
  std::fill(std::begin(m_Tangential), std::end(m_Tangential), 0);
  m_FieldRadius = kInfinity;
  return 1;
}

int COrientation::SetPixToFidMat(const Matrix3& pixToFid) {
  const bool affine = pixToFid(2, 0) == 0 && pixToFid(2, 1) == 0 && pixToFid(2, 2) == 1;
  const Matrix3 fidToPix = pixToFid.Inverse();
  if (!m_HasInterior || !affine || !IsFinite(pixToFid) || !IsFinite(fidToPix) ||
      pixToFid.Determinant() == 0 || !(StretchRatio(pixToFid) <= kMaxPixelStretch))
    return 0;
  COrientation changed(*this);
  changed.m_PixToFid = pixToFid;
  changed.m_FidToPix = fidToPix;
  const double* k = m_Radial;
  const double* p = m_Tangential;
  if (!changed.SetDistortion(k[0], k[1], k[2], p[0], p[1])) return 0;
  *this = changed;
  return 1;
}

int COrientation::SetDistortion(double k1, double k2, double k3, double p1, double p2) {
  const double radial[3] = {k1, k2, k3};
  for (double value : {k1, k2, k3, p1, p2})
    if (!std::isfinite(value)) return 0;
  if (!m_HasInterior) return 0;
  // A raster whose corners lie at rays almost square to the axis (beyond 89.99 degrees) is
  // no photograph, and its rays lose to rounding the pixels they came from.
  if (!(RasterCornerRadius() <= std::sqrt(kMaxFieldSquared))) return 0;
  const double field = RadialFieldRadius(radial);
  // The radius the lens reaches at the edge of its field must take in the raster's corners.
  if (field < kInfinity) {
    const double s = field * field;
    const double reach = field * (1 + s * (k1 + s * (k2 + s * k3)));
    if (!(reach > RasterCornerRadius())) return 0;
  }
  std::copy(radial, radial + 3, m_Radial);
  m_Tangential[0] = p1;
  m_Tangential[1] = p2;
  m_FieldRadius = field;
  return 1;
}

int COrientation::SetExterior(const Point3& projectionCentre, const Matrix3& rotation) {
  const bool finite = std::isfinite(projectionCentre.X()) && std::isfinite(projectionCentre.Y()) &&
                      std::isfinite(projectionCentre.Z()) && IsFinite(rotation);
  if (!finite || !(rotation.Determinant() > 0)) return 0;
  const Matrix3 product = rotation.Transpose() * rotation;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (std::fabs(product(r, c) - (r == c ? 1 : 0)) > 1e-6) return 0;
  m_HasExterior = true;
  m_N = projectionCentre;
  m_RotMat = rotation;
  return 1;
}

int COrientation::SetExterior(const Point3& projectionCentre, double omega, double phi,
                              double kappa) {
  if (!std::isfinite(omega) || !std::isfinite(phi) || !std::isfinite(kappa)) return 0;
  Matrix3 rotation;
  rotation.FromEulerAnglesXYZ(omega * kDegree, phi * kDegree, kappa * kDegree);
  return SetExterior(projectionCentre, rotation);
}

void COrientation::GetOmegaPhiKappa(double& omega, double& phi, double& kappa) const {
  m_RotMat.ToEulerAnglesXYZ(omega, phi, kappa);
  omega /= kDegree;
  phi /= kDegree;
  kappa /= kDegree;
}

int COrientation::SetScale(double scale) {
  if (!std::isfinite(scale) || scale <= 0) return 0;
  m_Scale = scale;
  return 1;
}

int COrientation::SetMountingAngle(double degrees) {
  if (!std::isfinite(degrees)) return 0;
  m_MountingAngle = degrees;
  return 1;
}

int COrientation::SetMeanGSD(double gsd) {
  if (!std::isfinite(gsd) || gsd < 0) return 0;
  m_MeanGSD = gsd;
  return 1;
}

// ---- Projection ----

COrientation::Point2 COrientation::PixToFid(const Point2& pixel) const {
  const Vector3 fiducial = m_PixToFid * Vector3(pixel.X() / m_Scale, pixel.Y() / m_Scale, 1);
  return {fiducial.X(), fiducial.Y()};
}

COrientation::Point2 COrientation::FidToPix(const Point2& fiducial) const {
  const Vector3 pixel = m_FidToPix * Vector3(fiducial.X(), fiducial.Y(), 1);
  return {pixel.X() * m_Scale, pixel.Y() * m_Scale};
}

COrientation::Point2 COrientation::Distort(const Point2& normalised) const {
  const double radius = std::hypot(normalised.X(), normalised.Y());
  // Past the edge of the lens field the image keeps growing in proportion to the radius.
  const double beyond = radius > m_FieldRadius ? radius / m_FieldRadius : 1;
  const double x = normalised.X() / beyond, y = normalised.Y() / beyond;
  const double s = x * x + y * y;
  const double radial = 1 + s * (m_Radial[0] + s * (m_Radial[1] + s * m_Radial[2]));
  const double p1 = m_Tangential[0], p2 = m_Tangential[1];
  return {beyond * (x * radial + 2 * p1 * x * y + p2 * (s + 2 * x * x)),
          beyond * (y * radial + p1 * (s + 2 * y * y) + 2 * p2 * x * y)};
}

// Newton's method on Distort(n) = distorted, with a central-difference Jacobian.
bool COrientation::Undistort(const Point2& distorted, Point2& normalised) const {
  const double tolerance = 1e-13 * std::max(1.0, std::hypot(distorted.X(), distorted.Y()));
  Point2 n = distorted;
  for (int iteration = 0; iteration < 100; ++iteration) {
    const Point2 image = Distort(n);
    const double ex = image.X() - distorted.X(), ey = image.Y() - distorted.Y();
    if (std::hypot(ex, ey) <= tolerance) {
      normalised = n;
      return true;
    }
    const double h = 1e-7 * std::max(1.0, std::hypot(n.X(), n.Y()));
    const Point2 xPlus = Distort({n.X() + h, n.Y()}), xMinus = Distort({n.X() - h, n.Y()});
    const Point2 yPlus = Distort({n.X(), n.Y() + h}), yMinus = Distort({n.X(), n.Y() - h});
    const double a = (xPlus.X() - xMinus.X()) / (2 * h), b = (yPlus.X() - yMinus.X()) / (2 * h);
    const double c = (xPlus.Y() - xMinus.Y()) / (2 * h), d = (yPlus.Y() - yMinus.Y()) / (2 * h);
    const double determinant = a * d - b * c;
    if (!(std::fabs(determinant) > 0)) return false;
    n = Point2(n.X() - (d * ex - b * ey) / determinant, n.Y() - (a * ey - c * ex) / determinant);
    if (!std::isfinite(n.X()) || !std::isfinite(n.Y())) return false;
  }
  return false;
}

double COrientation::RasterCornerRadius() const {
  double largest = 0;
  for (const Point2& corner :
       {Point2(0, 0), Point2(m_Width, 0), Point2(0, m_Height), Point2(m_Width, m_Height)}) {
    const Vector3 fiducial = m_PixToFid * Vector3(corner.X(), corner.Y(), 1);
    largest = std::max(largest, std::hypot(fiducial.X() - m_PrincipalPoint.X(),
                                           fiducial.Y() - m_PrincipalPoint.Y()));
  }
  return largest / m_PrincipalDistance;
}

int COrientation::Pt3dToPix(double x, double y, double z, double& column, double& row) const {
  column = row = NBX_UNSET;
  if (!m_HasInterior) return 0;
  const Vector3 camera = m_RotMat.Transpose() * (Point3(x, y, z) - m_N);
  if (!(camera.Z() < 0)) return 0;
  const Point2 distorted = Distort({camera.X() / -camera.Z(), camera.Y() / -camera.Z()});
  const Point2 pixel = FidToPix({m_PrincipalPoint.X() + m_PrincipalDistance * distorted.X(),
                                 m_PrincipalPoint.Y() + m_PrincipalDistance * distorted.Y()});
  if (!std::isfinite(pixel.X()) || !std::isfinite(pixel.Y())) return 0;
  column = pixel.X();
  row = pixel.Y();
  return 1;
}

bool COrientation::IsPixelInImage(const Point2& pixel) const {
  return pixel.X() >= 0 && pixel.X() < m_Width * m_Scale && pixel.Y() >= 0 &&
         pixel.Y() < m_Height * m_Scale;
}

bool COrientation::IsInImage(const Point3& point) const {
  Point2 pixel;
  if (!Pt3dToPix(point, pixel)) return false;
  const Vector3 camera = m_RotMat.Transpose() * (point - m_N);
  const double radius = std::hypot(camera.X(), camera.Y()) / -camera.Z();
  return radius <= m_FieldRadius && IsPixelInImage(pixel);
}

int COrientation::PixToRay(const Point2& pixel, Vector3& direction) const {
  if (!m_HasInterior) return 0;
  const Point2 fiducial = PixToFid(pixel);
  const Point2 distorted((fiducial.X() - m_PrincipalPoint.X()) / m_PrincipalDistance,
                         (fiducial.Y() - m_PrincipalPoint.Y()) / m_PrincipalDistance);
  Point2 normalised;
  if (!Undistort(distorted, normalised)) return 0;
  direction = m_RotMat * Vector3(normalised.X(), normalised.Y(), -1);
  direction.Normalize();
  return 1;
}
