#include "ui/framework/command_table.h"

#include "platform/strings/string_table.h"

#include <QAction>

CommandPrompt SplitPrompt(std::string_view entry) {
    const auto newline = entry.find('\n');
    if (newline == std::string_view::npos) return {std::string(entry), {}};
    return {std::string(entry.substr(0, newline)), std::string(entry.substr(newline + 1))};
}

namespace {

// The menu text without its accelerator text and mnemonic marks.
QString PlainText(const QString& menuText) {
    QString text = menuText.section(QLatin1Char('\t'), 0, 0);
    text.remove(QLatin1Char('&'));
    return text;
}

}  // namespace

CommandTable::CommandTable(QObject* owner, Dispatch dispatch) : owner_(owner), dispatch_(std::move(dispatch)) {}

QAction* CommandTable::Define(unsigned id, const QString& menuText) {
    if (QAction* existing = Find(id)) return existing;
    auto* action = new QAction(menuText, owner_);
    const CommandPrompt prompt = SplitPrompt(LoadString(id));
    action->setStatusTip(QString::fromStdString(prompt.prompt));
    action->setToolTip(prompt.tooltip.empty() ? PlainText(menuText) : QString::fromStdString(prompt.tooltip));
    action->setData(id);
    QObject::connect(action, &QAction::triggered, owner_, [dispatch = dispatch_, id] { dispatch(id); });
    actions_.emplace(id, action);
    return action;
}

QAction* CommandTable::Find(unsigned id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CommandTable::SetShortcuts(unsigned id, const QList<QKeySequence>& shortcuts) {
    if (QAction* action = Find(id)) action->setShortcuts(shortcuts);
}
