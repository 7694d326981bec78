// Timing helpers shared by the benchmark programs.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <functional>
#include <vector>

// The median wall time of `runs` runs of `work`, in milliseconds.
inline double MedianMilliseconds(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

namespace fs = std::filesystem;

// The demo site drawn by the view benchmarks.
constexpr int kSitePoints = 20000000;

inline bool RunWhenMissing(const fs::path& product, const std::string& command) {
  if (fs::exists(product)) return true;
  std::printf("        making %s\n", product.c_str());
  std::fflush(stdout);
  if (std::system(command.c_str()) == 0 && fs::exists(product)) return true;
  std::fprintf(stderr, "failed: %s\n", command.c_str());
  return false;
}

inline std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

// The demo site and its stream, made once and shared with the creation benchmark.
inline fs::path EnsureViewStream(const fs::path& build) {
  const fs::path data = build / "bench-data";
  const fs::path nimbex = build / "cli" / "nimbex";
  const fs::path las = data / ("site-" + std::to_string(kSitePoints) + ".las");
  const fs::path strm = data / "view" / "site.strm";
  fs::create_directories(strm.parent_path());
  const std::string makeSite = Quoted(nimbex) + " demo-site " + Quoted(las) + " --points " +
                               std::to_string(kSitePoints) + " --seed 7 > /dev/null 2>&1";
  const std::string buildStream = Quoted(nimbex) + " build " + Quoted(las) + " -o " + Quoted(strm) +
                                  " --overwrite > /dev/null 2>&1";
  if (!RunWhenMissing(las, makeSite) || !RunWhenMissing(strm, buildStream)) return {};
  return strm;
}

