#include "app/widgets/ProgressBarGeometry.h"

#include "common/progress/ProgressTimeToComplete.h"

namespace {

// A span measured along the bar's axis, turned into a rectangle across the whole bar. Along
// a vertical bar spans are measured upwards from the bottom edge.
QRect SpanRect(const QRect& client, int start, int length, bool vertical) {
  if (vertical) {
    const int bottom = client.y() + client.height();
    return QRect(client.x(), bottom - start - length, client.width(), length);
  }
  return QRect(client.x() + start, client.y(), length, client.height());
}

int AxisExtent(const QRect& client, bool vertical) {
  return vertical ? client.height() : client.width();
}

}  // namespace

QRect DoneRect(const QRect& client, double fraction, bool vertical) {
  const int done = DoneExtent(AxisExtent(client, vertical), fraction);
  return SpanRect(client, 0, done, vertical);
}

std::vector<QRect> BarRects(const QRect& client, double fraction, bool vertical, bool smooth) {
  std::vector<QRect> rects;
  if (smooth) {
    const QRect done = DoneRect(client, fraction, vertical);
    if (!done.isEmpty()) rects.push_back(done);
    return rects;
  }
  const int extent = AxisExtent(client, vertical);
  const int count = ChunkCount(fraction);
  for (int index = 0; index < count; ++index) {
    const PixelSpan chunk = ChunkAt(index, extent);
    const QRect rect = SpanRect(client, chunk.start, chunk.length, vertical);
    if (!rect.isEmpty()) rects.push_back(rect);
  }
  return rects;
}

QPoint VerticalTextOrigin(const QRect& client, const QSize& textExtent) {
  const int x = client.x() + (client.width() - textExtent.height()) / 2;
  const int y = client.y() + client.height() - (client.height() - textExtent.width()) / 2;
  return QPoint(x, y);
}
