#include "ui/mainframe/main_menu.h"

#include "platform/strings/command_ids.h"
#include "ui/framework/command_table.h"
#include "ui/resources/icons.h"
#include "platform/strings/language.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWidget>

namespace {

const MenuEntry kSeparator{};

}  // namespace

const std::vector<MenuEntry>& MainMenu() {
    static const std::vector<MenuEntry> menu = {
        {Tr("文件(&F)", "&File"),
         {{ID_FILE_NEW, Tr("新建\tCtrl+N", "&New\tCtrl+N")},
          {ID_FILE_OPEN, Tr("打开...\tCtrl+O", "&Open...\tCtrl+O")},
          {ID_FILE_SAVE, Tr("保存\tCtrl+S", "&Save\tCtrl+S")},
          {ID_FILE_SAVE_AS, Tr("另存为...", "Save &As...")},
          {ID_SPLIT_SAVE, Tr("分页保存", "Save in &Parts...")},
          kSeparator,
          {ID_AUTOSTART, Tr("设置开机自启", "Start with the &System")},
          {ID_START_ADDRESS, Tr("设置起始地址", "Set Start &Address...")},
          {ID_FILE_MRU_FIRST, nullptr},  // the recent files go here
          kSeparator,
          {ID_APP_EXIT, Tr("退出", "E&xit")}}},
        {Tr("编辑(&E)", "&Edit"),
         {{ID_NEW_SERVER, Tr("新建服务连接...", "New &Server Connection...")},
          {ID_NEW_GROUP, Tr("新建组...", "New &Group...")},
          {ID_NEW_ITEM, Tr("新建变量...", "New &Item...")},
          kSeparator,
          {ID_DELETE, Tr("删除\t&Del", "&Delete\tDel")},
          {ID_PROPERTIES, Tr("属性...", "P&roperties...")}}},
        {Tr("显示(&V)", "&View"),
         {{ID_UPDATE_INTERVAL, Tr("变量更新间隔...", "Item &Update Interval...")},
          kSeparator,
          {ID_CLEAR_EVENTS, Tr("清除消息", "&Clear Messages")},
          {ID_LOG_ERRORS_ONLY, Tr("只记录错误日志", "Log &Errors Only")},
          kSeparator,
          {ID_GATEWAY_STATUS, Tr("网关状态...", "Gateway &Status...")}}},
        {Tr("工具(&T)", "&Tools"),
         {{Tr("服务器", "&Server"),
           {{ID_CONNECT, Tr("连接", "&Connect")},
            {ID_DISCONNECT, Tr("断开连接", "&Disconnect")},
            {ID_RECONNECT, Tr("重新连接", "&Reconnect")},
            kSeparator,
            {ID_SERVER_ERROR_STRING, Tr("取得错误信息...", "Get &Error String...")},
            kSeparator,
            {ID_ENUMERATE_GROUPS, Tr("枚举所有组...", "&Enumerate Groups...")},
            {ID_GROUP_BY_NAME, Tr("根据名称去的组...", "Get Group by &Name...")}}},
          {Tr("组", "&Group"),
           {{ID_CLONE_GROUP, Tr("克隆组", "&Clone Group")},
            kSeparator,
            {ID_EXPORT_CSV, Tr("导出 CSV...", "&Export CSV...")},
            {ID_IMPORT_CSV, Tr("导入 CSV...", "&Import CSV...")}}},
          {Tr("变量", "&Item"),
           {{ID_SET_ACTIVE, Tr("设置活动", "Set &Active")},
            {ID_SET_INACTIVE, Tr("设置非活动", "Set &Inactive")},
            kSeparator,
            {ID_SYNC_READ_CACHE, Tr("同步缓冲读取", "Synchronous Read from Cache")},
            {ID_SYNC_READ_DEVICE, Tr("同步设备读取", "Synchronous Read from Device")},
            {ID_SYNC_WRITE, Tr("同步写入...", "Synchronous Write...")},
            kSeparator,
            {ID_ASYNC10_READ_CACHE, Tr("异步 1.0 缓冲读取", "Asynchronous 1.0 Read from Cache")},
            {ID_ASYNC10_READ_DEVICE, Tr("异步 1.0 设备读取", "Asynchronous 1.0 Read from Device")},
            {ID_ASYNC10_REFRESH_CACHE, Tr("异步 1.0 缓冲刷新", "Asynchronous 1.0 Refresh from Cache")},
            {ID_ASYNC10_REFRESH_DEVICE, Tr("异步 1.0 设备刷新", "Asynchronous 1.0 Refresh from Device")},
            {ID_ASYNC10_WRITE, Tr("异步 1.0 写入...", "Asynchronous 1.0 Write...")},
            kSeparator,
            {ID_ASYNC20_READ, Tr("异步 2.0 读取", "Asynchronous 2.0 Read")},
            {ID_ASYNC20_REFRESH_CACHE, Tr("异步 2.0 缓冲刷新", "Asynchronous 2.0 Refresh from Cache")},
            {ID_ASYNC20_REFRESH_DEVICE, Tr("异步 2.0 设备刷新", "Asynchronous 2.0 Refresh from Device")},
            {ID_ASYNC20_WRITE, Tr("异步 2.0 写入...", "Asynchronous 2.0 Write...")}}},
          kSeparator,
          {ID_FORWARDING_SETTINGS, Tr("转发设置...", "&Forwarding Settings...")}}},
    };
    return menu;
}

const std::vector<MenuEntry>& TrayMenu() {
    static const std::vector<MenuEntry> menu = {{ID_SHOW_WINDOW, Tr("显示程序", "Show the Program")}, {ID_APP_EXIT, Tr("退出", "E&xit")}};
    return menu;
}

void AddMenuEntries(QMenu* menu, const std::vector<MenuEntry>& entries, CommandTable& table) {
    for (const MenuEntry& entry : entries) {
        if (entry.id == ID_FILE_MRU_FIRST && !entry.text) {
            // Invisible marker: the recent files are inserted before it when the menu opens.
            QAction* marker = menu->addSeparator();
            marker->setVisible(false);
            marker->setObjectName(QStringLiteral("recent-files"));
        } else if (entry.id != 0) {
            menu->addAction(table.Define(entry.id, QString::fromUtf8(entry.text)));
        } else if (entry.text) {
            AddMenuEntries(menu->addMenu(QString::fromUtf8(entry.text)), entry.entries, table);
        } else {
            menu->addSeparator();
        }
    }
}

void BuildMenuBar(QMenuBar* bar, CommandTable& table) {
    for (const MenuEntry& popup : MainMenu())
        AddMenuEntries(bar->addMenu(QString::fromUtf8(popup.text)), popup.entries, table);
}

void BuildToolbar(QToolBar* toolbar, CommandTable& table) {
    struct Button {
        unsigned id;
        const char* icon;
        const char* tooltip;  // for the two buttons whose ids have no string-table entry
    };
    static const Button kButtons[] = {
        {ID_FILE_NEW, "file_new", nullptr},
        {ID_FILE_OPEN, "file_open", nullptr},
        {ID_FILE_SAVE, "file_save", nullptr},
        {0, nullptr, nullptr},
        {ID_NEW_SERVER, "new_server", nullptr},
        {ID_NEW_GROUP, "new_group", nullptr},
        {ID_NEW_ITEM, "new_item", nullptr},
        {ID_PROPERTIES, "properties", nullptr},
        {0, nullptr, nullptr},
        {ID_EDIT_CUT, "edit_cut", nullptr},
        {ID_EDIT_COPY, "edit_copy", nullptr},
        {ID_EDIT_PASTE, "edit_paste", nullptr},
        {ID_DELETE, "edit_delete", nullptr},
        {0, nullptr, nullptr},
        {ID_SERIAL_SETTINGS, "serial_settings", Tr("串口通讯设置", "Serial Port Settings")},
        {ID_TCP_CLIENT_SETTINGS, "tcp_client_settings", Tr("Tcp客户端设置", "TCP Client Settings")},
    };
    // Commands that only the toolbar and the accelerators offer get their plain names here.
    static const struct {
        unsigned id;
        const char* text;
    } kToolbarOnly[] = {{ID_EDIT_CUT, Tr("剪切", "Cut")},
                        {ID_EDIT_COPY, Tr("复制", "Copy")},
                        {ID_EDIT_PASTE, Tr("粘贴", "Paste")},
                        {ID_SERIAL_SETTINGS, Tr("串口通讯设置", "Serial Port Settings")},
                        {ID_TCP_CLIENT_SETTINGS, Tr("Tcp客户端设置", "TCP Client Settings")}};
    for (const auto& command : kToolbarOnly) table.Define(command.id, QString::fromUtf8(command.text));

    toolbar->setIconSize(QSize(16, 16));
    for (const Button& button : kButtons) {
        if (button.id == 0) {
            toolbar->addSeparator();
            continue;
        }
        QAction* action = table.Find(button.id);
        if (!action) continue;  // every button's command is defined by the menus or above
        action->setIcon(LoadIcon(button.icon));
        if (button.tooltip) action->setToolTip(QString::fromUtf8(button.tooltip));
        toolbar->addAction(action);
    }
}

void InstallAccelerators(QWidget* window, CommandTable& table) {
    struct Accelerator {
        unsigned id;
        QList<QKeySequence> keys;
    };
    const Accelerator kAccelerators[] = {
        {ID_FILE_NEW, {QKeySequence(Qt::CTRL | Qt::Key_N)}},
        {ID_FILE_OPEN, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {ID_FILE_SAVE, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {ID_EDIT_COPY, {QKeySequence(Qt::CTRL | Qt::Key_C), QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
        {ID_EDIT_PASTE, {QKeySequence(Qt::CTRL | Qt::Key_V), QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {ID_EDIT_CUT, {QKeySequence(Qt::CTRL | Qt::Key_X), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
        {ID_DELETE, {QKeySequence(Qt::Key_Delete)}},
        {ID_NEXT_PANE, {QKeySequence(Qt::Key_F6)}},
        {ID_PREV_PANE, {QKeySequence(Qt::SHIFT | Qt::Key_F6)}},
    };
    table.Define(ID_NEXT_PANE, QString::fromUtf8(Tr("下一窗格", "Next Pane")));
    table.Define(ID_PREV_PANE, QString::fromUtf8(Tr("上一窗格", "Previous Pane")));
    for (const Accelerator& accelerator : kAccelerators) {
        QAction* action = table.Find(accelerator.id);
        if (!action) continue;
        action->setShortcuts(accelerator.keys);
        window->addAction(action);
    }
}
