#include "platform/strings/command_ids.h"
#include "ui/framework/command_rules.h"
#include "ui/framework/command_table.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QObject>

#include <vector>

TEST(CommandPrompts, EntryIsSplitAtTheFirstNewline) {
    struct Case {
        const char* entry;
        const char* prompt;
        const char* tooltip;
    };
    const Case cases[] = {
        {"创建一个新文档\n新建", "创建一个新文档", "新建"},
        {"Open this document", "Open this document", ""},
        {"", "", ""},
        {"\nonly tip", "", "only tip"},
        {"a\nb\nc", "a", "b\nc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const CommandPrompt p = SplitPrompt(c.entry);
        EXPECT_EQ(p.prompt, c.prompt);
        EXPECT_EQ(p.tooltip, c.tooltip);
    }
}

TEST(CommandTable, ActionsCarryPromptAndTooltipOfTheirIdAndDispatchIt) {
    QObject owner;
    std::vector<unsigned> dispatched;
    CommandTable table(&owner, [&](unsigned id) { dispatched.push_back(id); });

    QAction* newAction = table.Define(ID_FILE_NEW, QStringLiteral("新建\tCtrl+N"));
    QAction* interval = table.Define(ID_UPDATE_INTERVAL, QStringLiteral("变量更新间隔..."));
    EXPECT_EQ(table.Define(ID_FILE_NEW, QStringLiteral("other")), newAction);

    EXPECT_EQ(newAction->statusTip(), QStringLiteral("创建一个新文档"));
    EXPECT_EQ(newAction->toolTip(), QStringLiteral("新建"));
    EXPECT_EQ(newAction->text(), QStringLiteral("新建\tCtrl+N"));
    // No tooltip in the entry: the menu text stands in.
    EXPECT_EQ(interval->statusTip(), QStringLiteral("Set the item view refresh rate for displaying data"));
    EXPECT_EQ(interval->toolTip(), QStringLiteral("变量更新间隔..."));

    interval->trigger();
    newAction->trigger();
    EXPECT_EQ(dispatched, (std::vector<unsigned>{ID_UPDATE_INTERVAL, ID_FILE_NEW}));
    EXPECT_EQ(table.Find(ID_FILE_OPEN), nullptr);
}

TEST(CommandRules, RulesDecideEnablingAndCheckMarksAndCanBeReplaced) {
    QObject owner;
    CommandTable table(&owner, [](unsigned) {});
    QAction* open = table.Define(ID_FILE_OPEN, QStringLiteral("打开..."));
    QAction* errors = table.Define(ID_LOG_ERRORS_ONLY, QStringLiteral("只记录错误日志"));
    QAction* free = table.Define(ID_UPDATE_INTERVAL, QStringLiteral("变量更新间隔..."));
    CommandRules rules;
    rules.Add(ID_FILE_OPEN, [](const CommandContext& c) { return !c.busy; });
    rules.AddCheck(ID_LOG_ERRORS_ONLY, [](const CommandContext& c) { return c.errorsOnly; });

    CommandContext context;
    context.busy = true;
    context.errorsOnly = true;
    rules.Apply(context, table);
    EXPECT_FALSE(open->isEnabled());
    EXPECT_TRUE(errors->isChecked());
    EXPECT_TRUE(free->isEnabled());  // no rule: always enabled

    context.busy = false;
    context.errorsOnly = false;
    rules.Apply(context, table);
    EXPECT_TRUE(open->isEnabled());
    EXPECT_FALSE(errors->isChecked());

    rules.Add(ID_FILE_OPEN, [](const CommandContext& c) { return c.serverCount > 0; });
    rules.Apply(context, table);
    EXPECT_FALSE(open->isEnabled());
}
