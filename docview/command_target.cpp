#include "docview/command_target.h"

bool CommandTarget::OnCommand(unsigned id) {
    const auto it = handlers_.find(id);
    if (it == handlers_.end()) return false;
    // Copy first: a handler may remap commands of this target while it runs.
    const auto handler = it->second;
    handler(id);
    return true;
}

bool CommandTarget::HandlesCommand(unsigned id) const { return handlers_.contains(id); }

void CommandTarget::MapCommand(unsigned id, std::function<void()> handler) {
    handlers_[id] = [h = std::move(handler)](unsigned) { h(); };
}

void CommandTarget::MapCommandRange(unsigned first, unsigned last, const std::function<void(unsigned)>& handler) {
    for (unsigned id = first; id <= last; ++id) handlers_[id] = handler;
}
