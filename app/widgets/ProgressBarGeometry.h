// Where the progress bar control paints its parts, in widget pixels. Kept apart from the
// widget so the layout can be checked without a display. Horizontal bars fill from the left,
// vertical bars from the bottom up; chunk sizes and spacing come from the progress model.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

// The part of the client rectangle that stands for the work done.
QRect DoneRect(const QRect& client, double fraction, bool vertical);

// The rectangles filled with the bar colour: the done rectangle for a smooth bar, else one
// rectangle per chunk done so far. Empty rectangles are left out, so the list is empty at 0.
std::vector<QRect> BarRects(const QRect& client, double fraction, bool vertical, bool smooth);

// Top-left corner, before rotation, of a text line turned a quarter left so that it reads
// bottom-up, centred in the client rectangle. The extent is the unrotated line: its width
// along the baseline and its height.
QPoint VerticalTextOrigin(const QRect& client, const QSize& textExtent);
