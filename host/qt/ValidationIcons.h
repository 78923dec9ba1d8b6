// The validation window's image list, drawn in code: the pictures of the
// row types and of the buttons, at the indices the window uses.
#pragma once

#include <QIcon>

namespace riffo {

inline constexpr int IMAGE_SETTINGS = 2;
inline constexpr int IMAGE_SAVE = 7;
inline constexpr int IMAGE_START = 13;
inline constexpr int IMAGE_STOP = 14;
inline constexpr int IMAGE_CLOSE = 15;
inline constexpr int IMAGE_INFO = 18;
inline constexpr int IMAGE_WARNING = 23;
inline constexpr int IMAGE_ERROR = 24;
inline constexpr int IMAGE_COUNT = 25;

// The picture at an index of the list; a null icon for an index that has none.
QIcon ValidationImage(int index);

}  // namespace riffo
