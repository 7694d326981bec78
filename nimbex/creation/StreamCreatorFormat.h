// The kinds of input a stream is created from. Kept apart from the creator, so that code built
// with Qt's keywords can name them.
#pragma once

enum StreamCreatorFormat {
  SCF_VTP_LIST = 0,    // a list of VTP models
  SCF_POINT_FILE = 1,  // one point file read through a point reader (LAS, text)
  SCF_PTX_LIST = 2,    // a list of PTX scans
  SCF_ASCII_LIST = 3   // a list of ASCII point files
};
