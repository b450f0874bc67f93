#include "ui/mainframe/main_menu.h"

#include "platform/strings/command_ids.h"
#include "ui/framework/command_table.h"
#include "ui/resources/icons.h"

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
        {"文件(&F)",
         {{ID_FILE_NEW, "新建\tCtrl+N"},
          {ID_FILE_OPEN, "打开...\tCtrl+O"},
          {ID_FILE_SAVE, "保存\tCtrl+S"},
          {ID_FILE_SAVE_AS, "另存为..."},
          {ID_SPLIT_SAVE, "分页保存"},
          kSeparator,
          {ID_AUTOSTART, "设置开机自启"},
          {ID_START_ADDRESS, "设置起始地址"},
          {ID_FILE_MRU_FIRST, nullptr},  // the recent files go here
          kSeparator,
          {ID_APP_EXIT, "退出"}}},
        {"编辑(&E)",
         {{ID_NEW_SERVER, "新建服务连接..."},
          {ID_NEW_GROUP, "新建组..."},
          {ID_NEW_ITEM, "新建变量..."},
          kSeparator,
          {ID_DELETE, "删除\t&Del"},
          {ID_PROPERTIES, "属性..."}}},
        {"显示(&V)",
         {{ID_UPDATE_INTERVAL, "变量更新间隔..."},
          kSeparator,
          {ID_CLEAR_EVENTS, "清除消息"},
          {ID_LOG_ERRORS_ONLY, "只记录错误日志"}}},
        {"工具(&T)",
         {{"服务器",
           {{ID_CONNECT, "连接"},
            {ID_DISCONNECT, "断开连接"},
            {ID_RECONNECT, "重新连接"},
            kSeparator,
            {ID_SERVER_ERROR_STRING, "取得错误信息..."},
            kSeparator,
            {ID_ENUMERATE_GROUPS, "枚举所有组..."},
            {ID_GROUP_BY_NAME, "根据名称去的组..."}}},
          {"组",
           {{ID_CLONE_GROUP, "克隆组"}, kSeparator, {ID_EXPORT_CSV, "导出 CSV..."}, {ID_IMPORT_CSV, "导入 CSV..."}}},
          {"变量",
           {{ID_SET_ACTIVE, "设置活动"},
            {ID_SET_INACTIVE, "设置非活动"},
            kSeparator,
            {ID_SYNC_READ_CACHE, "同步缓冲读取"},
            {ID_SYNC_READ_DEVICE, "同步设备读取"},
            {ID_SYNC_WRITE, "同步写入..."},
            kSeparator,
            {ID_ASYNC10_READ_CACHE, "异步 1.0 缓冲读取"},
            {ID_ASYNC10_READ_DEVICE, "异步 1.0 设备读取"},
            {ID_ASYNC10_REFRESH_CACHE, "异步 1.0 缓冲刷新"},
            {ID_ASYNC10_REFRESH_DEVICE, "异步 1.0 设备刷新"},
            {ID_ASYNC10_WRITE, "异步 1.0 写入..."},
            kSeparator,
            {ID_ASYNC20_READ, "异步 2.0 读取"},
            {ID_ASYNC20_REFRESH_CACHE, "异步 2.0 缓冲刷新"},
            {ID_ASYNC20_REFRESH_DEVICE, "异步 2.0 设备刷新"},
            {ID_ASYNC20_WRITE, "异步 2.0 写入..."}}}}},
    };
    return menu;
}

const std::vector<MenuEntry>& TrayMenu() {
    static const std::vector<MenuEntry> menu = {{ID_SHOW_WINDOW, "显示程序"}, {ID_APP_EXIT, "退出"}};
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
        {ID_SERIAL_SETTINGS, "serial_settings", "串口通讯设置"},
        {ID_TCP_CLIENT_SETTINGS, "tcp_client_settings", "Tcp客户端设置"},
    };
    // Commands that only the toolbar and the accelerators offer get their plain names here.
    static const struct {
        unsigned id;
        const char* text;
    } kToolbarOnly[] = {{ID_EDIT_CUT, "剪切"},
                        {ID_EDIT_COPY, "复制"},
                        {ID_EDIT_PASTE, "粘贴"},
                        {ID_SERIAL_SETTINGS, "串口通讯设置"},
                        {ID_TCP_CLIENT_SETTINGS, "Tcp客户端设置"}};
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
    table.Define(ID_NEXT_PANE, QStringLiteral("下一窗格"));
    table.Define(ID_PREV_PANE, QStringLiteral("上一窗格"));
    for (const Accelerator& accelerator : kAccelerators) {
        QAction* action = table.Find(accelerator.id);
        if (!action) continue;
        action->setShortcuts(accelerator.keys);
        window->addAction(action);
    }
}
