#pragma once
// Where the main window's controls sit (pixels, window 719 x 469). The
// profile and output-folder controls take the rows between the list and the
// "Start" bar.

#include <QRect>

namespace mivora::layout {

inline constexpr int kMainWidth = 719;
inline constexpr int kMainHeight = 469;

inline const QRect kAddFiles{12, 48, 104, 30};
inline const QRect kClearList{124, 48, 104, 30};
inline const QRect kSourceList{4, 86, 711, 228};

// Rows below the list: profile (name field, "Target", "Edit"), quality (the
// two bit-rate drop-downs), output folder (drop-down, "Browse", "Open").
inline const QRect kProfileRow{12, 322, 695, 26};
inline const QRect kQualityRow{12, 354, 695, 26};
inline const QRect kOutputRow{12, 386, 695, 26};

inline const QRect kStart{4, 421, 711, 44};

}  // namespace mivora::layout
