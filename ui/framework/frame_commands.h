// What a pane needs of its frame for menus of its own: the frame's action of a command (so a
// context menu reads and enables exactly as the main menu), the enabling pass before a menu
// opens, and the command route for keys and double clicks.
#pragma once

class QAction;

class FrameCommands {
public:
    virtual ~FrameCommands() = default;
    // Null when the frame defines no action for `id`.
    virtual QAction* CommandAction(unsigned id) const = 0;
    virtual void UpdateCommandStates() = 0;
    // Sends `id` along the command route, as a menu would (disabled commands do nothing).
    virtual void DispatchCommand(unsigned id) = 0;
};
