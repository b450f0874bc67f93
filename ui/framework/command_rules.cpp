#include "ui/framework/command_rules.h"

#include "ui/framework/command_table.h"

#include <QAction>

void CommandRules::Add(unsigned id, CommandRule enabled) { enabled_[id] = std::move(enabled); }

void CommandRules::AddRange(unsigned first, unsigned last, const CommandRule& enabled) {
    for (unsigned id = first; id <= last; ++id) enabled_[id] = enabled;
}

void CommandRules::AddCheck(unsigned id, CommandRule checked) { checked_[id] = std::move(checked); }

bool CommandRules::IsEnabled(unsigned id, const CommandContext& context) const {
    const auto it = enabled_.find(id);
    return it == enabled_.end() || it->second(context);
}

bool CommandRules::IsChecked(unsigned id, const CommandContext& context) const {
    const auto it = checked_.find(id);
    return it != checked_.end() && it->second(context);
}

void CommandRules::Apply(const CommandContext& context, const CommandTable& table) const {
    for (const auto& [id, action] : table.Actions()) {
        action->setEnabled(IsEnabled(id, context));
        if (HasCheck(id)) {
            action->setCheckable(true);
            action->setChecked(IsChecked(id, context));
        }
    }
}
