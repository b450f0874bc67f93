// Placement of the main window in the profile section "Main Window": position, size, state,
// the width of the group tree column, the height of the upper row and which bars are shown.
#pragma once

#include <QRect>
#include <QSize>

class Profile;
class QScreen;

struct WindowPlacement {
    static constexpr const char* kSection = "Main Window";
    static constexpr int kMinimumPane = 10;

    int x = 10;
    int y = 10;
    int cx = 0;
    int cy = 0;
    int state = 0;   // -1 minimized, 1 maximized, 0 normal
    int groups = 0;  // width of the group tree column
    int events = 0;  // height of the upper row (tree and list)
    bool toolbar = true;
    bool statusBar = true;
};

// Reads the placement; what is absent or malformed takes the defaults from the screen size
// (half the screen at (10, 10), a third of the width for the tree, half the height for the
// upper row). A window whose top would lie off the desktop (all screens) goes back to (10, 10).
WindowPlacement ReadWindowPlacement(const Profile& profile, QSize screen, QRect desktop);
// The same for the window's screen; without one (the display went away) for a 1024 x 768
// screen at (0, 0).
WindowPlacement ReadWindowPlacement(const Profile& profile, const QScreen* screen);

// Writes what the placement of a window in `state` records: a minimized or maximized window
// keeps the last normal position and size in the profile.
void WriteWindowPlacement(Profile& profile, const WindowPlacement& placement);
