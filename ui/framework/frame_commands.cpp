#include "ui/framework/frame_commands.h"

#include <QMenu>

void ExecCommandMenu(FrameCommands& frame, const std::vector<unsigned>& ids, QWidget* owner,
                     const QPoint& globalPosition) {
    frame.UpdateCommandStates();
    QMenu menu(owner);
    for (unsigned id : ids) {
        if (id == 0)
            menu.addSeparator();
        else if (QAction* action = frame.CommandAction(id))
            menu.addAction(action);
    }
    if (menu.actions().isEmpty()) return;
    menu.exec(globalPosition);
}
