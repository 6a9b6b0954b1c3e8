// The six 16x16 images of the output list, by image index: 0 failure (red cross), 1 success
// (green tick), 2 step or plain line (blue square), 3 information ("i" in a circle), 4 base
// station, 5 station that did not answer (unplugged connector).
#pragma once

#include <QIcon>
#include <QPixmap>

namespace qelta::gui {

inline constexpr int kListIconCount = 6;

// Draws image `index` (0..5). Any other index gives a null pixmap, so a row with a stray index
// shows no image instead of a wrong one.
QPixmap listIconPixmap(int index);
QIcon listIcon(int index);

}  // namespace qelta::gui
