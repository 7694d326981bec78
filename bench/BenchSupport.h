// Timing helpers shared by the benchmark programs.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The wall time of one run of `work`, in milliseconds.
inline double Milliseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// The median wall time of `runs` runs of `work`, in milliseconds.
inline double MedianMilliseconds(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) times.push_back(Milliseconds(work));
  return Median(times);
}

// The floor of work that delivers `bytes`: the median time of copying them, warm.
inline double MemcpyMilliseconds(size_t bytes, int runs) {
  std::vector<char> source(bytes, 1), target(bytes, 0);
  volatile char sink = 0;
  auto copy = [&] {
    std::memcpy(target.data(), source.data(), bytes);
    sink = sink + target[bytes / 2];
  };
  copy();
  return MedianMilliseconds(runs, copy);
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

// The demo site's stream named by the benchmark's one argument, the build folder; empty,
// after saying why, when the arguments are wrong or the stream cannot be made.
inline fs::path ViewStreamFromArguments(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s BUILD_FOLDER\n", argv[0]);
    return {};
  }
  const fs::path strm = EnsureViewStream(argv[1]);
  if (strm.empty())
    std::fprintf(stderr, "cannot make the demo site's stream under %s/bench-data\n", argv[1]);
  return strm;
}
