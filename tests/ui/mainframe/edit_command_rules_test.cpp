// The enabling of Copy, Cut and Paste: by the active pane, the selection, the document's busy
// flag and the formats on the clipboard (placed there as another program would).
#include "mainframe_fixture.h"

#include "platform/strings/command_ids.h"
#include "ui/framework/clipboard_formats.h"
#include "ui/mainframe/shell_command_rules.h"
#include "ui/navigation/group_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <string>

namespace {

// Puts the named formats on the clipboard (S server, G group, I item), each with a byte.
void PlaceFormats(const std::string& formats) {
    auto* data = new QMimeData;
    const std::pair<char, const char*> names[] = {
        {'S', kServerClipFormat}, {'G', kGroupClipFormat}, {'I', kItemClipFormat}};
    for (const auto& [letter, name] : names)
        if (formats.find(letter) != std::string::npos) data->setData(QString::fromLatin1(name), QByteArray(1, '\0'));
    if (formats.empty()) data->setText(QStringLiteral("text only"));
    QGuiApplication::clipboard()->setMimeData(data);
}

}  // namespace

TEST(EditCommandRules, CopyCutAndPasteFollowThePaneTheSelectionAndTheClipboard) {
    CommandRules rules;
    AddShellCommandRules(rules);
    int server = 0;
    int group = 0;
    enum Selection { kNothing, kServer, kGroup };
    struct Case {
        const char* name;
        ActivePane pane;
        Selection selection;
        int selectedItems;
        const char* clipboard;
        bool busy;
        bool copy, cut, paste;
    };
    const Case cases[] = {
        {"empty clipboard, tree, nothing", ActivePane::GroupTree, kNothing, 0, "", false, false, false, false},
        {"empty clipboard, tree, server", ActivePane::GroupTree, kServer, 0, "", false, true, true, false},
        {"empty clipboard, tree, group", ActivePane::GroupTree, kGroup, 0, "", false, true, true, false},
        {"empty clipboard, list, items", ActivePane::ItemList, kGroup, 2, "", false, true, true, false},
        {"tree, server, server format", ActivePane::GroupTree, kServer, 0, "S", false, true, true, true},
        {"tree, server, group format", ActivePane::GroupTree, kServer, 0, "G", false, true, true, true},
        {"tree, server, item format", ActivePane::GroupTree, kServer, 0, "I", false, true, true, false},
        {"tree, group, item format", ActivePane::GroupTree, kGroup, 0, "I", false, true, true, true},
        {"tree, group, group format", ActivePane::GroupTree, kGroup, 0, "SG", false, true, true, false},
        {"tree, nothing, server format", ActivePane::GroupTree, kNothing, 0, "S", false, false, false, true},
        {"tree, nothing, group and item formats", ActivePane::GroupTree, kNothing, 0, "GI", false, false, false, false},
        {"list, group, item format", ActivePane::ItemList, kGroup, 0, "I", false, false, true, true},
        {"list, group, server and group formats", ActivePane::ItemList, kGroup, 0, "SG", false, false, true, false},
        {"list, no group, item format", ActivePane::ItemList, kServer, 0, "I", false, false, true, false},
        {"list, items selected", ActivePane::ItemList, kGroup, 3, "I", false, true, true, true},
        {"event log, server, every format", ActivePane::EventLog, kServer, 0, "SGI", false, false, true, false},
        {"no pane, group, every format", ActivePane::None, kGroup, 1, "SGI", false, false, true, false},
        {"busy, tree, server", ActivePane::GroupTree, kServer, 0, "SG", true, false, false, false},
        {"busy, list, items", ActivePane::ItemList, kGroup, 2, "I", true, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlaceFormats(c.clipboard);
        CommandContext context;
        context.busy = c.busy;
        context.activePane = c.pane;
        context.currentServer = c.selection == kServer ? &server : nullptr;
        context.currentGroup = c.selection == kGroup ? &group : nullptr;
        context.selectedItems = c.selectedItems;
        EXPECT_EQ(rules.IsEnabled(ID_EDIT_COPY, context), c.copy);
        EXPECT_EQ(rules.IsEnabled(ID_EDIT_CUT, context), c.cut);
        EXPECT_EQ(rules.IsEnabled(ID_EDIT_PASTE, context), c.paste);
    }
}

TEST_F(MainFrameTest, TheToolbarsPasteFollowsTheClipboardAtOnce) {
    auto window = MakeWindow();
    window->ActivateFrame();
    window->activateWindow();
    window->GroupView()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return window->BuildCommandContext().activePane == ActivePane::GroupTree; }));
    QAction* paste = window->Commands().Find(ID_EDIT_PASTE);
    PlaceFormats("");
    window->UpdateCommandStates();
    EXPECT_FALSE(paste->isEnabled());
    // Nothing selected in the tree: a server on the clipboard can be pasted; the status timer
    // brings the button up to date.
    PlaceFormats("S");
    ASSERT_TRUE(WaitFor([&] { return paste->isEnabled(); }));
    PlaceFormats("I");
    ASSERT_TRUE(WaitFor([&] { return !paste->isEnabled(); }));
}
