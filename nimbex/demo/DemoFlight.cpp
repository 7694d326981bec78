#include "nimbex/demo/DemoFlight.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "nimbex/demo/DemoRandom.h"
#include "nimbex/demo/DemoScene.h"

namespace {

using Point2 = COrientation::Point2;
using Point3 = COrientation::Point3;
using Vector3 = COrientation::Vector3;
using Matrix3 = COrientation::Matrix3;

constexpr double kDegree = 3.14159265358979323846 / 180;

// The drone's camera: a 13.2 mm wide sensor behind an 8.8 mm lens (74 degrees across).
constexpr double kDroneSensorWidth = 13.2;  // mm
constexpr double kDronePrincipalDistance = 8.8;
// The surveyor's camera: an APS-C sensor behind a zoom lens at its wide end (63 degrees).
constexpr double kGroundSensorWidth = 22.3;
constexpr double kGroundPrincipalDistance = 18.35;

// A nadir block at 60 m: 70 % forward overlap, 60 % between strips.
constexpr double kNadirHeight = 60;
constexpr double kForwardStep = 0.3;
constexpr double kStripStep = 0.6;
constexpr double kEyeHeight = 1.6;
// Nothing taller than a metre this close to the surveyor: no shrub or tree fills the picture.
constexpr double kClearing = 9;

// The first flight day lies within 120 days after this one (2024-04-08, 00:00 UTC).
constexpr int64_t kFirstDay = 1712534400;
constexpr int64_t kDay = 86400;

COrientation DroneCamera(double sizeFactor) {
  const int width = std::max(1, int(std::lround(kDroneRaster[0] * sizeFactor)));
  const int height = std::max(1, int(std::lround(kDroneRaster[1] * sizeFactor)));
  COrientation camera;
  camera.SetInterior(kDronePrincipalDistance, Point2(0.021, -0.014), kDroneSensorWidth / width,
                     width, height);
  camera.SetDistortion(-0.0125, 0.0041, 0, 0.00012, -0.00008);
  return camera;
}

COrientation GroundCamera(double sizeFactor) {
  const int width = std::max(1, int(std::lround(kGroundRaster[0] * sizeFactor)));
  const int height = std::max(1, int(std::lround(kGroundRaster[1] * sizeFactor)));
  COrientation camera;
  camera.SetInterior(kGroundPrincipalDistance, Point2(-0.04, 0.03), kGroundSensorWidth / width,
                     width, height);
  camera.SetDistortion(-0.071, 0.018, 0, 0.0002, 0.0001);
  return camera;
}

// How much of the ground the camera covers across and along its picture, per metre of
// distance.
double FieldAcross(const COrientation& camera) {
  return camera.GetRasterWidth() * camera.GetPixelSize() / camera.GetFocalLength();
}
double FieldAlong(const COrientation& camera) {
  return camera.GetRasterHeight() * camera.GetPixelSize() / camera.GetFocalLength();
}

// The rotation of a camera looking along `view` with the top of its picture towards `up`
// (which must not be parallel to `view`), turned by `roll` degrees about its viewing axis.
Matrix3 LookRotation(Vector3 view, const Vector3& up, double roll) {
  view.Normalize();
  const Vector3 z = -view;
  Vector3 x = up.Cross(z);
  x.Normalize();
  const Vector3 y = z.Cross(x);
  const Matrix3 look(x.X(), y.X(), z.X(), x.Y(), y.Y(), z.Y(), x.Z(), y.Z(), z.Z());
  Matrix3 turn;
  turn.FromEulerAnglesXYZ(0, 0, roll * kDegree);
  return look * turn;
}

// The exterior through omega, phi and kappa, so that it is exactly what the ".est" file
// gives back.
void Place(COrientation& camera, const Point3& centre, const Matrix3& rotation) {
  COrientation turned;
  turned.SetExterior(centre, rotation);
  double omega, phi, kappa;
  turned.GetOmegaPhiKappa(omega, phi, kappa);
  camera.SetExterior(centre, omega, phi, kappa);
}

Vector3 Turned(const Vector3& direction, double degrees) {
  const double c = std::cos(degrees * kDegree), s = std::sin(degrees * kDegree);
  return Vector3(c * direction.X() - s * direction.Y(), s * direction.X() + c * direction.Y(),
                 direction.Z());
}

std::string NumberedName(const char* prefix, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "%s_%04d.JPG", prefix, number % 10000);
  return name;
}

class CShotPlanner {
 public:
  CShotPlanner(const CDemoScene& scene, unsigned seed, double sizeFactor)
      : m_Scene(scene), m_Random(Mix(seed, 31)), m_SizeFactor(sizeFactor) {
    m_DroneNumber = 100 + m_Random.Below(800);
    m_GroundNumber = 1000 + m_Random.Below(8000);
    m_FlightStart =
        kFirstDay + m_Random.Below(120) * kDay + 7 * 3600 + 40 * 60 + m_Random.Below(3600);
    m_Centre = FindBlockCentre();
  }

  void PlanNadir(int count, std::vector<DemoShot>& shots) {
    const COrientation camera = DroneCamera(m_SizeFactor);
    const double height = kNadirHeight + m_Random.Between(-2, 2);
    const int strips = count >= 4 ? 2 : 1;
    const int perStrip = (count + strips - 1) / strips;
    const double forward = kForwardStep * FieldAlong(camera) * height;
    const double across = (1 - kStripStep) * FieldAcross(camera) * height;
    const double altitude = m_Scene.GroundHeight(m_Centre.X(), m_Centre.Y()) + height;
    for (int i = 0; i < count; ++i) {
      const int strip = i / perStrip, step = i % perStrip;
      // Strips are flown in turn northwards and southwards, the picture's top ahead.
      const double heading = strip % 2 ? -1 : 1;
      const double along = heading * (step - (perStrip - 1) / 2.0) * forward;
      // Wind and the satellite fix move the drone a little; the gimbal holds within degrees.
      const Point3 centre = Point3(m_Centre.X() + (strip - (strips - 1) / 2.0) * across,
                                   m_Centre.Y() + along, altitude) +
                            JitterVector(1.0, 1.0, 0.4);
      const Vector3 tilt = JitterVector(2.0, 2.0, 0);
      const Vector3 view(std::tan(tilt.X() * kDegree), std::tan(tilt.Y() * kDegree), -1);
      const Vector3 ahead = Turned(Vector3(0, heading, 0), Jitter(3.0));
      DemoShot shot = Shot(camera, DemoShotKind::Nadir, NumberedName("DJI", m_DroneNumber++),
                           centre, LookRotation(view, ahead, 0));
      shot.time = m_FlightStart + int64_t(i * 2.5 + strip * 14);
      shots.push_back(shot);
    }
    m_FlightEnd = m_FlightStart + int64_t(count * 2.5 + strips * 14);
  }

  // Around the buildings nearest the block, looking inwards from beyond them.
  void PlanOblique(int count, std::vector<DemoShot>& shots) {
    const COrientation camera = DroneCamera(m_SizeFactor);
    const std::vector<Point3> targets = TargetsNearTheBlock();
    for (int i = 0; i < count; ++i) {
      const Point3& target = targets[i % targets.size()];
      const double tilt = m_Random.Between(42, 52) * kDegree;
      const double height = m_Random.Between(38, 48);
      const double distance = height * std::tan(tilt);
      Vector3 outwards = Vector3(target.X() - SiteMiddle().X(), target.Y() - SiteMiddle().Y(), 0);
      if (outwards.Normalize() == 0) outwards = Vector3::UnitY();
      outwards = Turned(outwards, (i % 2 ? 35 : -35) + Jitter(15));
      const Point3 centre = target + outwards * distance + Vector3(0, 0, height);
      DemoShot shot = Shot(camera, DemoShotKind::Oblique, NumberedName("DJI", m_DroneNumber++),
                           centre, LookRotation(target - centre, Vector3::UnitZ(), Jitter(1.0)));
      shot.time = m_FlightEnd + 60 + i * 25;
      shots.push_back(shot);
    }
  }

  // In front of the sampled walls of houses, from open ground with a clear view; half of
  // them the day after the flight, half two days later.
  void PlanGround(int count, std::vector<DemoShot>& shots) {
    const COrientation camera = GroundCamera(m_SizeFactor);
    std::vector<const DemoBuilding*> buildings = BuildingsByDistance(true);
    if (buildings.empty()) buildings = BuildingsByDistance(false);
    int64_t time = m_FlightStart + kDay + 4 * 3600 + m_Random.Below(1800);
    for (int i = 0; i < count; ++i) {
      if (i == (count + 1) / 2) time += 2 * kDay - 3 * 3600 + m_Random.Below(1800);
      Point3 eye, target;
      if (buildings.empty())
        ChooseOpenView(eye, target);
      else
        ChooseViewOf(*buildings[i % buildings.size()], eye, target);
      const double turn = Jitter(7.0), raise = Jitter(0.035);
      const Vector3 view =
          Turned(target - eye, turn) + Vector3(0, 0, (target - eye).Length() * raise);
      DemoShot shot = Shot(camera, DemoShotKind::Ground, NumberedName("IMG", m_GroundNumber++), eye,
                           LookRotation(view, Vector3::UnitZ(), Jitter(1.5)));
      shot.time = time;
      shots.push_back(shot);
      time += 40 + m_Random.Below(160);
    }
  }

  // One in eight photographs, drawn by the seed, comes without its exterior orientation.
  void LeaveSomeUnoriented(std::vector<DemoShot>& shots) {
    std::vector<size_t> order(shots.size());
    std::iota(order.begin(), order.end(), 0);
    for (size_t i = order.size(); i > 1; --i)
      std::swap(order[i - 1], order[m_Random.Below(int(i))]);
    for (size_t i = 0; i < shots.size() / 8; ++i) shots[order[i]].withExterior = false;
  }

 private:
  DemoShot Shot(COrientation camera, DemoShotKind kind, std::string name, const Point3& centre,
                const Matrix3& rotation) const {
    Place(camera, centre + m_Scene.GetOrigin(), rotation);
    DemoShot shot;
    shot.name = std::move(name);
    shot.kind = kind;
    shot.orientation = camera;
    return shot;
  }

  Point3 SiteMiddle() const { return (m_Scene.GetMin() + m_Scene.GetMax()) * 0.5; }

  // The building nearest the middle of the site, kept far enough inside that the block's
  // photographs see the site only.
  Point3 FindBlockCentre() const {
    const Point3 middle = SiteMiddle();
    Point3 centre = middle;
    double best = std::numeric_limits<double>::max();
    for (const DemoBuilding& b : m_Scene.GetBuildings()) {
      const Point3 at((b.x0 + b.x1) / 2, (b.y0 + b.y1) / 2, 0);
      const double distance = std::hypot(at.X() - middle.X(), at.Y() - middle.Y());
      if (distance < best) best = distance, centre = at;
    }
    const COrientation camera = DroneCamera(1);
    const double margin[2] = {0.5 * FieldAcross(camera) * kNadirHeight + 20,
                              0.5 * FieldAlong(camera) * kNadirHeight + 40};
    for (int axis = 0; axis < 2; ++axis) {
      const double low = m_Scene.GetMin()[axis] + margin[axis];
      const double high = m_Scene.GetMax()[axis] - margin[axis];
      centre[axis] = low < high ? std::clamp(centre[axis], low, high) : middle[axis];
    }
    centre.Z() = 0;
    return centre;
  }

  std::vector<const DemoBuilding*> BuildingsByDistance(bool sampledWallOnly) const {
    std::vector<const DemoBuilding*> found;
    for (const DemoBuilding& b : m_Scene.GetBuildings())
      if (!sampledWallOnly || b.sampledWall != 0) found.push_back(&b);
    auto distance = [this](const DemoBuilding* b) {
      return std::hypot((b->x0 + b->x1) / 2 - m_Centre.X(), (b->y0 + b->y1) / 2 - m_Centre.Y());
    };
    std::stable_sort(found.begin(), found.end(), [&](const DemoBuilding* a, const DemoBuilding* b) {
      return distance(a) < distance(b);
    });
    return found;
  }

  // Half-way up the buildings nearest the block; the block's centre on a site without any.
  std::vector<Point3> TargetsNearTheBlock() const {
    std::vector<Point3> targets;
    for (const DemoBuilding* b : BuildingsByDistance(false))
      targets.emplace_back((b->x0 + b->x1) / 2, (b->y0 + b->y1) / 2, (b->base + b->top) / 2);
    if (targets.empty())
      targets.emplace_back(m_Centre.X(), m_Centre.Y(),
                           m_Scene.GroundHeight(m_Centre.X(), m_Centre.Y()));
    return targets;
  }

  // The best of a few spots squarely in front of the building's sampled wall (the scan saw
  // no other, so the building is seen whole from there only): on open ground inside the
  // site, with as little as possible between the eye and the wall.
  void ChooseViewOf(const DemoBuilding& b, Point3& eye, Point3& target) {
    const int side = b.sampledWall != 0 ? b.sampledWall : (m_Random.Below(2) ? 1 : -1);
    const double wall = side < 0 ? b.x0 : b.x1;
    target = Point3(wall, (b.y0 + b.y1) / 2, b.base + 2.5);
    const double margin = std::min(1.0, (b.y1 - b.y0) / 4);
    double bestScore = std::numeric_limits<double>::max();
    for (int attempt = 0; attempt < 24; ++attempt) {
      const double distance = m_Random.Between(14, 24);
      const Point3 spot(wall + side * distance, m_Random.Between(b.y0 + margin, b.y1 - margin), 0);
      const double score = ViewScore(spot, target);
      if (score < bestScore) {
        bestScore = score;
        eye = Point3(spot.X(), spot.Y(), m_Scene.GroundHeight(spot.X(), spot.Y()) + kEyeHeight);
      }
    }
  }

  // Across the site from its middle when it has no building.
  void ChooseOpenView(Point3& eye, Point3& target) {
    target = SiteMiddle();
    target.Z() = m_Scene.GroundHeight(target.X(), target.Y()) + 2;
    const Vector3 from = Turned(Vector3(0, -30, 0), m_Random.Between(0, 360));
    eye = target + from;
    eye.Z() = m_Scene.GroundHeight(eye.X(), eye.Y()) + kEyeHeight;
  }

  // Lower is better: a spot outside the site or near things standing scores high, then each
  // sample of the line of sight that something stands in the way of.
  double ViewScore(const Point3& spot, const Point3& target) const {
    const Point3& low = m_Scene.GetMin();
    const Point3& high = m_Scene.GetMax();
    double score = 0;
    if (spot.X() < low.X() + 3 || spot.X() > high.X() - 3 || spot.Y() < low.Y() + 3 ||
        spot.Y() > high.Y() - 3)
      score += 1000;
    const double ground = m_Scene.GroundHeight(spot.X(), spot.Y());
    if (m_Scene.HighestPoint(spot.X(), spot.Y(), kClearing) - ground > 1) score += 100;
    const Point3 eye(spot.X(), spot.Y(), ground + kEyeHeight);
    for (int i = 0; i < 20; ++i) {
      const Point3 sample = eye + (target - eye) * (0.15 + 0.75 * i / 19.0);
      score += m_Scene.HighestPoint(sample.X(), sample.Y(), 0.5) > sample.Z();
    }
    return score;
  }

  double Jitter(double spread) { return m_Random.Between(-spread, spread); }
  // Drawn in a fixed order, which the arguments of one call would not give.
  Vector3 JitterVector(double x, double y, double z) {
    Vector3 jitter;
    jitter.X() = Jitter(x);
    jitter.Y() = Jitter(y);
    jitter.Z() = Jitter(z);
    return jitter;
  }

  const CDemoScene& m_Scene;
  CRandom m_Random;
  double m_SizeFactor;
  int m_DroneNumber, m_GroundNumber;
  int64_t m_FlightStart, m_FlightEnd = 0;
  Point3 m_Centre;  // of the nadir block, relative
};

}  // namespace

std::vector<DemoShot> PlanDemoShots(const CDemoScene& scene, int count, unsigned seed,
                                    double sizeFactor) {
  const int ground = count >= 3 ? std::max(1, count / 4) : 0;
  const int oblique = count >= 2 ? std::max(1, count / 4) : 0;
  CShotPlanner planner(scene, seed, sizeFactor);
  std::vector<DemoShot> shots;
  planner.PlanNadir(count - ground - oblique, shots);
  planner.PlanOblique(oblique, shots);
  planner.PlanGround(ground, shots);
  planner.LeaveSomeUnoriented(shots);
  return shots;
}
