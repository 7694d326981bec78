// What a tool page of the image panel may answer in the 3D view: the measure page takes
// SHIFT+clicks on the model, the link page CTRL+clicks and double clicks on its markers.
#pragma once

#include "nimbex/platform/WinTypes.h"

class CPanelPage {
 public:
  virtual ~CPanelPage() = default;

  // A left click in the 3D view at a window pixel while this page is the shown tab; 1 when
  // the page used the click (the view then does not rotate).
  virtual int OnViewClick(WinPoint pixel, bool shift, bool control) {
    (void)pixel, (void)shift, (void)control;
    return 0;
  }
  // A left double click in the 3D view, whichever tab is shown; 1 when the page used it.
  virtual int OnViewDoubleClick(WinPoint pixel) {
    (void)pixel;
    return 0;
  }
  // "&Save" and closing the project: the page writes its data; 1 on success.
  virtual int SavePageData() { return 1; }
};
