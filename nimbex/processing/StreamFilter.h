// The stream filters: each turns the items of an open stream, one at a time at the grid
// depth, into per-item buffers, and the merging and overview steps of stream creation turn
// the buffers into a new stream with the same grid, offset and item layout.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "nimbex/creation/StreamCreator.h"
#include "nimbex/format/Container.h"

class CNimbex;
class vtkCellArray;
class vtkDataArray;
class vtkPoints;
class vtkPolyData;

class CStreamFilter {
 public:
  virtual ~CStreamFilter() = default;
  // The result of the last run; null before the first run or when the run had no result.
  vtkPolyData* GetOutput() const { return m_Output; }

 protected:
  vtkPolyData* m_Output = nullptr;
};

// Merges the points of a cloud that lie closer together than a radius. The filter owns its
// output, which lives until the next run or the filter's end.
class CCleanPointsFilter : public CStreamFilter {
 public:
  CCleanPointsFilter() = default;
  ~CCleanPointsFilter() override;
  CCleanPointsFilter(const CCleanPointsFilter&) = delete;
  CCleanPointsFilter& operator=(const CCleanPointsFilter&) = delete;

  // Takes the input's points in their order and keeps each one that lies farther than
  // `radius` from every point kept before it; the others merge into a kept point within
  // reach and leave nothing of theirs. The output holds the kept points in their order,
  // their point data and one vertex each. Does nothing for a null input or a radius that is
  // unset, negative or not finite.
  void Execute(vtkPolyData* input, double radius);
};

// Reconstructs a triangle surface from the points of a cloud. The filter owns its output.
class CMeshFilter : public CStreamFilter {
 public:
  // Fewer points than this make no mesh.
  static constexpr int kMinimumPoints = 32;

  CMeshFilter() = default;
  ~CMeshFilter() override;
  CMeshFilter(const CMeshFilter&) = delete;
  CMeshFilter& operator=(const CMeshFilter&) = delete;

  // The output holds the surface's vertices and triangles; no output for a null input,
  // fewer than kMinimumPoints points, or points that span no surface. The advancing front
  // takes its scale from the points themselves: `radius` does not change the mesh.
  void Execute(vtkPolyData* input, double radius);
};

// The new stream a filter writes: the checks on its name, the per-item buffer files and the
// creation steps that turn them into the stream. Whatever the run wrote is removed unless
// Finish succeeds: a refused, failed or cancelled filter leaves no partial stream.
class CFilteredStream {
 public:
  CFilteredStream(CNimbex& source, int hasColors, int hasTriangles);
  ~CFilteredStream();
  CFilteredStream(const CFilteredStream&) = delete;
  CFilteredStream& operator=(const CFilteredStream&) = delete;

  // A radius is finite and not negative (0 merges only coincident points).
  static bool IsRadius(double radius);
  static std::string NotARadius(double radius);

  // Checks the output name and creates its folder (one level) when missing; the absolute,
  // normalised name is written back into `outputPath`, a buffer of PATH_MAX characters.
  // Returns "" when accepted, else why not; nothing is written before acceptance.
  std::string Prepare(char* outputPath);

  // Runs `filterItem` on every item of the source, in the order of its item map, reporting
  // progress under `title`. Returns "" or the first problem an item or a cancel gives.
  std::string FilterItems(const std::function<std::string(int id)>& filterItem, const char* title,
                          int* cancel, CProgressSink* progress, CTextSink* status);

  // Buffers of one item; false when the file cannot be written.
  bool WritePoints(int id, vtkPoints* points);
  bool WriteColors(int id, vtkDataArray* colors);
  bool WriteTriangles(int id, vtkCellArray* polygons);
  // An item whose buffers are written; only these items enter the new stream.
  void AddItem(int id, long long points);
  long long GetPointsCount() const { return m_PointsCount; }
  const std::string& GetWriteError() const { return m_WriteError; }
  // Why an item of `source` that holds points cannot be filtered, with the loader's reason
  // (a file missing or cut short): losing it silently would lose data.
  static std::string UnreadableItem(const CNimbex& source, int id);

  // Header, merging, overviews and class files, then opens the result to check it.
  // Returns "" on success, else why the stream could not be made.
  std::string Finish(double linearDensity, int* cancel, CProgressSink* progress, CTextSink* status);

 private:
  std::string CheckOutputName(const std::filesystem::path& output) const;
  std::string CheckBufferNames(const std::filesystem::path& output) const;
  std::filesystem::path BufferPath(int id, const char* extension) const;
  void RemoveBuffers();
  bool WriteBuffer(int id, const char* extension, const void* data, size_t bytes);
  bool WriteHeader(double linearDensity);
  std::string RunCreationSteps(int* cancel, CProgressSink* progress, CTextSink* status);
  std::string CheckResult() const;
  void RemoveWhatWasWritten();

  CNimbex& m_Source;
  CContainer m_Container;  // a copy of the source's: the creator needs a mutable one
  CStreamCreator m_Creator;
  std::filesystem::path m_Output;
  std::filesystem::path m_CreatedFolder;
  std::vector<std::filesystem::path> m_Buffers;  // written by this run: the only ones removed
  std::string m_WriteError;
  long long m_PointsCount = 0;
  int m_HasColors;
  int m_HasTriangles;
  bool m_Prepared = false;
  bool m_Finished = false;
};
