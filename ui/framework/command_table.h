// The commands of the frame as QActions keyed by command id. Each action takes its status-bar
// prompt and its tooltip from the string table entry of its id ("prompt\ntooltip"); menus and
// the toolbar share the actions, and triggering one dispatches its id to the command route.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <string_view>

class QAction;
class QObject;

struct CommandPrompt {
    std::string prompt;   // shown in the status bar while the command is highlighted
    std::string tooltip;  // toolbar tooltip; empty when the entry has none
};

// Splits a string-table entry at its first newline.
CommandPrompt SplitPrompt(std::string_view entry);

class CommandTable {
public:
    using Dispatch = std::function<void(unsigned id)>;

    // Actions are children of `owner`.
    CommandTable(QObject* owner, Dispatch dispatch);

    // The action of `id`, made at the first call with `menuText` (a tab and an accelerator
    // text may follow the text, as in "新建\tCtrl+N"); later calls return the same action.
    QAction* Define(unsigned id, const QString& menuText);
    QAction* Find(unsigned id) const;
    void SetShortcuts(unsigned id, const QList<QKeySequence>& shortcuts);

    const std::map<unsigned, QAction*>& Actions() const { return actions_; }

private:
    QObject* owner_;
    Dispatch dispatch_;
    std::map<unsigned, QAction*> actions_;
};
