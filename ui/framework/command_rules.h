// Command enabling. Before a menu opens and on the frame's status timer, every command gets
// its enabled state, and its check mark, from the rules; a command without a rule is enabled.
// Adding a rule is one line:
//     rules.Add(ID_FILE_NEW, [](const CommandContext& c) { return !c.busy; });
#pragma once

#include <functional>
#include <unordered_map>

class CommandTable;

// Which pane has the focus (the active view).
enum class ActivePane { None, GroupTree, ItemList, EventLog };

// What the rules decide on. Server and group are the document's current ones, opaque here:
// a rule that needs their state casts them to their types.
struct CommandContext {
    bool busy = false;
    bool modified = false;
    int serverCount = 0;
    void* currentServer = nullptr;
    void* currentGroup = nullptr;
    int selectedItems = 0;  // selected rows of the item list
    ActivePane activePane = ActivePane::None;
    int eventRows = 0;  // rows shown by the event log
    bool errorsOnly = false;
};

using CommandRule = std::function<bool(const CommandContext&)>;

class CommandRules {
public:
    // Sets (or replaces) the enabling rule of `id`.
    void Add(unsigned id, CommandRule enabled);
    void AddRange(unsigned first, unsigned last, const CommandRule& enabled);
    // Sets the rule for the check mark of `id`.
    void AddCheck(unsigned id, CommandRule checked);

    bool IsEnabled(unsigned id, const CommandContext& context) const;
    // Commands with a check rule carry a check mark.
    bool HasCheck(unsigned id) const { return checked_.contains(id); }
    bool IsChecked(unsigned id, const CommandContext& context) const;

    // Applies the rules to every action of the table.
    void Apply(const CommandContext& context, const CommandTable& table) const;

private:
    std::unordered_map<unsigned, CommandRule> enabled_;
    std::unordered_map<unsigned, CommandRule> checked_;
};
