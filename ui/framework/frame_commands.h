// What a pane needs of its frame for menus of its own: the frame's action of a command (so a
// context menu reads and enables exactly as the main menu), the enabling pass before a menu
// opens, and the command route for keys and double clicks.
#pragma once

#include <vector>

class QAction;
class QPoint;
class QWidget;

class FrameCommands {
public:
    virtual ~FrameCommands() = default;
    // Null when the frame defines no action for `id`.
    virtual QAction* CommandAction(unsigned id) const = 0;
    virtual void UpdateCommandStates() = 0;
    // Sends `id` along the command route, as a menu would (disabled commands do nothing).
    virtual void DispatchCommand(unsigned id) = 0;
};

// A pane's context menu: the frame's actions of `ids` (0 for a separator) at
// `globalPosition`, enabled by the frame's rules first. Nothing is shown without an entry.
void ExecCommandMenu(FrameCommands& frame, const std::vector<unsigned>& ids, QWidget* owner,
                     const QPoint& globalPosition);
