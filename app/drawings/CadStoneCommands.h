// The stone commands of the drawing pane, joined to its view:
// - "FILL STONE" (11001, key F): each click inside an orthophoto outlines the stone under it
//   (Shift drops the previous outline instead of keeping it on "Stones"); a click outside
//   beeps and changes nothing; the wheel widens or narrows the tolerance. It runs until
//   Escape, Enter or a right click; the space bar starts it again (repeat).
// - "STONE SIZE" (11002): two clicks, the centre of a stone and a point on its edge, give the
//   reference sizes of the stones from the circle's radius; the circle is only drawn while the
//   second point is chosen.
// Both are also in the view's menu.
#pragma once

class CCadView;

// Registers both commands with the view. They share one tool, so the tolerances and reference
// sizes stay as the user set them across the drawings the view shows.
void RegisterStoneCommands(CCadView& view);
