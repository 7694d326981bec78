// Writing a stream's full-resolution points, with their colours, as a VTK XML poly data file
// (".vtp") and its offset file (".vtw" beside it), the form in which models come into a
// stream: world point = model point + offset.
#pragma once

#include <string>

class CNimbex;
class CProgressSink;
class CTextSink;

// Exports every full-resolution point of `cloud` to `path`, one vertex per point, colours
// as the point scalars "RGB" when the stream has them. `progress` runs over 0 … 100 and
// `status` names the step ("Build Vtp from Stream", "Writing File"); either may be null.
// 1 on success; 0 with the reason in `error`.
int ExportVtp(CNimbex& cloud, const std::string& path, CProgressSink* progress, CTextSink* status,
              std::string& error);
