// A small demo site made once per test program: 200 000 points built into a stream and 8
// photographs of it with their orientations (the nadir ones with their textured models).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ImageImport.h"
#include "tests/support/CommandRunner.h"
#include "tests/support/StreamWriter.h"

class DemoSite {
 public:
  static const DemoSite& Get() {
    static DemoSite site;
    return site;
  }
  std::filesystem::path Folder() const { return m_Folder.Path(); }
  std::vector<std::string> Photographs() const {
    std::vector<std::string> photographs;
    for (const auto& entry : std::filesystem::directory_iterator(m_Folder / "photos"))
      if (entry.path().extension() == ".JPG") photographs.push_back(entry.path().string());
    std::sort(photographs.begin(), photographs.end());
    return photographs;
  }

 private:
  DemoSite() {
    const std::filesystem::path las = m_Folder / "site.las";
    RunNimbex("demo-site " + Quoted(las) + " --points 200000 --seed 3");
    RunNimbex("build " + Quoted(las) + " -o " + Quoted(m_Folder / "site.strm"));
    RunNimbex("demo-photos " + Quoted(las) + " " + Quoted(m_Folder / "photos") +
              " --count 8 --seed 3");
  }
  ScratchFolder m_Folder;
};

// A project of the demo site's stream in `folder`, with its photographs imported into the
// project's data folder. The stream's path.
inline std::string MakeDemoProjectIn(const std::filesystem::path& folder) {
  const DemoSite& site = DemoSite::Get();
  for (const auto& entry : std::filesystem::directory_iterator(site.Folder()))
    if (entry.is_regular_file() && entry.path().stem() == "site")
      std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
  const std::string stream = (folder / "site.strm").string();
  ProblemList problems;
  EXPECT_EQ(ImportImages(site.Photographs(), nullptr, nullptr, problems, nullptr, stream), 1);
  return stream;
}
