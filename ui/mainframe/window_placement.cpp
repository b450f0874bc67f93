#include "ui/mainframe/window_placement.h"

#include "platform/settings/profile.h"

#include <QScreen>

#include <algorithm>

namespace {

constexpr const char* S = WindowPlacement::kSection;
// The part of the window that must lie on the screen for it to be reachable.
constexpr int kReachable = 40;

}  // namespace

WindowPlacement ReadWindowPlacement(const Profile& profile, QSize screen, QRect desktop) {
    WindowPlacement p;
    p.x = profile.GetInt(S, "x", 10);
    p.y = profile.GetInt(S, "y", 10);
    p.cx = std::clamp(profile.GetInt(S, "cx", screen.width() / 2), WindowPlacement::kMinimumPane,
                      std::max(screen.width(), WindowPlacement::kMinimumPane) * 4);
    p.cy = std::clamp(profile.GetInt(S, "cy", screen.height() / 2), WindowPlacement::kMinimumPane,
                      std::max(screen.height(), WindowPlacement::kMinimumPane) * 4);
    p.state = profile.GetInt(S, "State", 0);
    if (p.state != -1 && p.state != 1) p.state = 0;
    p.groups = std::max(profile.GetInt(S, "Groups", p.cx / 3), WindowPlacement::kMinimumPane);
    p.events = std::max(profile.GetInt(S, "Events", p.cy / 2), WindowPlacement::kMinimumPane);
    p.toolbar = profile.GetInt(S, "Toolbar", 1) != 0;
    p.statusBar = profile.GetInt(S, "Status Bar", 1) != 0;

    const QRect titleBar(p.x, p.y, p.cx, kReachable);
    if (!desktop.isEmpty() && desktop.intersected(titleBar).width() < std::min(kReachable, p.cx)) {
        p.x = 10;
        p.y = 10;
    }
    return p;
}

WindowPlacement ReadWindowPlacement(const Profile& profile, const QScreen* screen) {
    if (!screen) {
        const QRect fallback(0, 0, 1024, 768);
        return ReadWindowPlacement(profile, fallback.size(), fallback);
    }
    return ReadWindowPlacement(profile, screen->size(), screen->virtualGeometry());
}

void WriteWindowPlacement(Profile& profile, const WindowPlacement& p) {
    if (p.state == 0) {
        profile.WriteInt(S, "x", p.x);
        profile.WriteInt(S, "y", p.y);
        profile.WriteInt(S, "cx", p.cx);
        profile.WriteInt(S, "cy", p.cy);
    }
    profile.WriteInt(S, "State", p.state);
    profile.WriteInt(S, "Groups", p.groups);
    profile.WriteInt(S, "Events", p.events);
    profile.WriteInt(S, "Toolbar", p.toolbar ? 1 : 0);
    profile.WriteInt(S, "Status Bar", p.statusBar ? 1 : 0);
}
