// A frame for the pane tests: it records the commands a pane sends along the command route.
#pragma once

#include "ui/framework/frame_commands.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>

#include <vector>

class FrameRecorder : public FrameCommands {
public:
    QAction* CommandAction(unsigned) const override { return nullptr; }
    void UpdateCommandStates() override {}
    void DispatchCommand(unsigned id) override { dispatched.push_back(id); }

    std::vector<unsigned> dispatched;
};

// Double clicks at `at` in the view with the right, the middle and the left button, in turn.
inline void DoubleClickWithEachButton(QAbstractItemView& view, const QPoint& at) {
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton}) {
        QMouseEvent click(QEvent::MouseButtonDblClick, at, view.viewport()->mapToGlobal(at), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &click);
    }
}
