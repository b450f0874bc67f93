// A frame for the pane tests: it records the commands a pane sends along the command route.
#pragma once

#include "ui/framework/frame_commands.h"

#include <vector>

class FrameRecorder : public FrameCommands {
public:
    QAction* CommandAction(unsigned) const override { return nullptr; }
    void UpdateCommandStates() override {}
    void DispatchCommand(unsigned id) override { dispatched.push_back(id); }

    std::vector<unsigned> dispatched;
};
