#include "app/projects/OrvalisDoc.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "nimbex/access/Nimbex.h"
#include "nimbex/window/RenderWindow.h"

namespace {
// The first stream of a project is number 1001; each further one the largest plus one.
constexpr int kFirstCloudNumber = 1000;
}  // namespace

bool IsStreamPath(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".strm";
}

int GetInitialColorMode(const CNimbex& cloud) {
  if (cloud.HasTri()) return CVM_USER_DEFINED;
  if (cloud.HasColors()) return CVM_RGB;
  if (cloud.HasIntensity()) return CVM_INTENSITY;
  return CVM_ELEVATION;
}

COrvalisDoc::COrvalisDoc(std::string pathName) : m_PathName(std::move(pathName)) {}

COrvalisDoc::~COrvalisDoc() {
  ReleaseClouds();
}

CNimbex* COrvalisDoc::AddStream(const std::string& path, WindowId view) {
  if (!IsStreamPath(path) || !view) return nullptr;
  CNimbex* cloud = AddSpCloud(path.c_str(), view, 0);
  if (!cloud) return nullptr;
  m_View = view;
  const int mode = GetInitialColorMode(*cloud);
  cloud->SetCVM(static_cast<CVM>(mode));
  cloud->SetPointSize(m_PointSize);
  const int number = m_Clouds.empty() ? kFirstCloudNumber + 1 : m_Clouds.rbegin()->first + 1;
  if (m_Clouds.empty()) m_ColorMode = mode;
  m_Clouds[number] = cloud;
  return cloud;
}

void COrvalisDoc::ReleaseClouds() {
  for (auto& entry : m_Clouds) RemoveSpCloud(entry.second, m_View);
  m_Clouds.clear();
}

CNimbex* COrvalisDoc::GetFirstCloud() const {
  return m_Clouds.empty() ? nullptr : m_Clouds.begin()->second;
}

long long COrvalisDoc::GetLoadedPointsCount() const {
  long long sum = 0;
  for (const auto& entry : m_Clouds) sum += entry.second->GetRenderedPointCount();
  return sum;
}

long long COrvalisDoc::GetTotalPointsCount() const {
  long long sum = 0;
  for (const auto& entry : m_Clouds) sum += entry.second->GetPointsCount();
  return sum;
}

int COrvalisDoc::SetColorMode(int mode) {
  if (m_Clouds.empty()) return 0;
  for (const auto& entry : m_Clouds)
    if (!entry.second->HasCVM(static_cast<CVM>(mode))) return 0;
  for (const auto& entry : m_Clouds) entry.second->SetCVM(static_cast<CVM>(mode));
  m_ColorMode = mode;
  return 1;
}

int COrvalisDoc::SetPointSize(int size) {
  if (size < 1 || m_Clouds.empty()) return 0;
  for (const auto& entry : m_Clouds) entry.second->SetPointSize(size);
  m_PointSize = size;
  return 1;
}

void COrvalisDoc::SetStreamDetail(double factor) {
  for (const auto& entry : m_Clouds) entry.second->SetStreamDetailFactor(factor);
}

void COrvalisDoc::SetPresetView(int view) {
  for (const auto& entry : m_Clouds) entry.second->SetPresetView(static_cast<PresetView>(view));
}
