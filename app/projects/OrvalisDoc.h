// One opened project: its stream path and the streams shown in its 3D view, with the view
// settings the commands change (point size, colour mode, stream detail).
#pragma once

#include <map>
#include <string>

#include "ProjectImages.h"
#include "nimbex/platform/WinTypes.h"

class CNimbex;

class COrvalisDoc {
 public:
  explicit COrvalisDoc(std::string pathName);
  ~COrvalisDoc();
  COrvalisDoc(const COrvalisDoc&) = delete;
  COrvalisDoc& operator=(const COrvalisDoc&) = delete;

  const std::string& GetPathName() const { return m_PathName; }
  // Adds a stream to the view `view` in the colour mode that suits it: user colour for a
  // mesh, else its own colours, else its intensities, else elevation. Null when the path is
  // not a .strm file or the stream cannot be opened.
  CNimbex* AddStream(const std::string& path, WindowId view);
  // Removes every stream from the view (before the view's render window goes away).
  void ReleaseClouds();

  const std::map<int, CNimbex*>& GetClouds() const { return m_Clouds; }
  CNimbex* GetFirstCloud() const;
  long long GetLoadedPointsCount() const;
  long long GetTotalPointsCount() const;

  int GetColorMode() const { return m_ColorMode; }
  // Sets the mode on every stream and keeps it. A mode that a stream cannot show (colours,
  // intensities, normals or pulses it does not hold) is refused with nothing changed, so
  // that the mode kept is the one shown: 0 then, and when there is no stream.
  int SetColorMode(int mode);
  int GetPointSize() const { return m_PointSize; }
  // 0, with nothing changed, for a size below 1 or a document without streams.
  int SetPointSize(int size);
  // Stream detail factor (points per window pixel) of every stream.
  void SetStreamDetail(double factor);
  // The preset view on every stream.
  void SetPresetView(int view);

  // While on, the 3D view paints the model textured from the oriented photographs.
  bool IsTextureMode() const { return m_TextureMode; }
  void SetTextureMode(bool on) { m_TextureMode = on; }

  // The project's photographs.
  CProjectImages& GetImages() { return m_Images; }
  const CProjectImages& GetImages() const { return m_Images; }

 private:
  std::string m_PathName;
  WindowId m_View = nullptr;
  std::map<int, CNimbex*> m_Clouds;
  int m_PointSize = 1;
  int m_ColorMode = 0;
  bool m_TextureMode = false;
  CProjectImages m_Images;
};

// True when the path names a stream (its extension is ".strm" in any case).
bool IsStreamPath(const std::string& path);
// The colour mode a newly added stream starts in.
int GetInitialColorMode(const CNimbex& cloud);
