// The menus, the toolbar and the accelerators of the main window, built from tables onto
// the frame's command table.
#pragma once

#include <QString>

#include <vector>

class CommandTable;
class QMenu;
class QMenuBar;
class QToolBar;
class QWidget;

// One menu entry: a command (id and text), a separator (id 0, no text) or a popup (id 0,
// text and entries).
struct MenuEntry {
    MenuEntry() = default;
    MenuEntry(unsigned commandId, const char* commandText) : id(commandId), text(commandText) {}
    MenuEntry(const char* popupText, std::vector<MenuEntry> popupEntries)
        : text(popupText), entries(std::move(popupEntries)) {}

    unsigned id = 0;
    const char* text = nullptr;
    std::vector<MenuEntry> entries;
};

// The main menu; the recent files go where the File menu has the entry of ID_FILE_MRU_FIRST.
const std::vector<MenuEntry>& MainMenu();
// The tray icon's popup.
const std::vector<MenuEntry>& TrayMenu();

// Defines the actions of `entries` in `table` and adds them to `menu`. Returns the action
// of ID_FILE_MRU_FIRST's place, if the menu has one (it stays hidden: the recent files are
// inserted before it).
void AddMenuEntries(QMenu* menu, const std::vector<MenuEntry>& entries, CommandTable& table);
void BuildMenuBar(QMenuBar* bar, CommandTable& table);

// Toolbar buttons with their icons, in order, 0 for a separator.
void BuildToolbar(QToolBar* toolbar, CommandTable& table);

// Sets the accelerators of resource 101 on the actions and makes them work from anywhere in
// `window`, whether or not a menu or the toolbar shows the action.
void InstallAccelerators(QWidget* window, CommandTable& table);
