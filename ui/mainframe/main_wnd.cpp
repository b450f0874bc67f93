#include "ui/mainframe/main_wnd.h"

#include "docview/document.h"
#include "docview/update_hints.h"
#include "forwarding/data_server.h"
#include "forwarding/forwarding_settings.h"
#include "forwarding/link_reports.h"
#include "forwarding/serial_link.h"
#include "forwarding/tcp_client_link.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "platform/concurrency/posted_calls.h"
#include "platform/config/opc_config.h"
#include "platform/settings/profile.h"
#include "platform/shell/trace.h"
#include "platform/strings/command_ids.h"
#include "platform/strings/language.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/eventlog/event_view.h"
#include "ui/forwarding/comm_set_dlg.h"
#include "ui/forwarding/forwarding_settings_dlg.h"
#include "ui/forwarding/gateway_status_window.h"
#include "ui/forwarding/tcp_client_set_dlg.h"
#include "ui/framework/clipboard_formats.h"
#include "ui/framework/command_router.h"
#include "ui/framework/recent_file_list.h"
#include "ui/items/item_view.h"
#include "ui/mainframe/main_menu.h"
#include "ui/mainframe/opc_command_rules.h"
#include "ui/mainframe/shell_command_rules.h"
#include "ui/mainframe/window_placement.h"
#include "ui/navigation/group_view.h"
#include "ui/persistence/project_commands.h"
#include "ui/resources/icons.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>

namespace {
constexpr int kInitialCountWidth = 64;
constexpr const char* kTrayTip = "OPC Station";
constexpr const char* kTitlePrefix = "OPC Station - ";

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

MessageBoxFunction PlainMessageBox(QWidget* parent) {
    return [parent](const std::string& text) {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString::fromStdString(text),
                        QMessageBox::Ok, parent);
        box.exec();
    };
}

}  // namespace

CVMainWnd::CVMainWnd(Document& document, MessageBoxFunction messageBox)
    : document_(document),
      messageBox_(messageBox ? std::move(messageBox) : PlainMessageBox(this)),
      commands_(this, [this](unsigned id) { DispatchCommand(id); }),
      status_(std::string(LoadString(IDS_READY))) {
    posted_ = new PostedCalls(this);  // before anything that reports from other threads
    setWindowIcon(ApplicationIcon());
    RegisterProjectClipboardFormats();
    BuildMenuBar(menuBar(), commands_);
    toolbar_ = addToolBar(QStringLiteral("Toolbar"));
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setMovable(false);
    BuildToolbar(toolbar_, commands_);
    toolbar_->hide();  // shown by the saved placement
    InstallAccelerators(this, commands_);
    CreatePanes();
    CreateStatusBar();
    CreateLinks();

    AddShellCommandRules(rules_);
    AddOpcCommandRules(rules_);
    rules_.AddCheck(ID_AUTOSTART, [this](const CommandContext&) { return autostartOn_; });
    MapFrameCommands();

    QMenu* fileMenu = menuBar()->actions().constFirst()->menu();
    connect(fileMenu, &QMenu::aboutToShow, this, [this, fileMenu] { UpdateRecentFileMenu(fileMenu); });
    for (QMenu* menu : menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });

    statusTimer_ = new QTimer(this);
    connect(statusTimer_, &QTimer::timeout, this, [this] { OnStatusTimer(); });
    statusTimer_->start(kStatusTimerMs);

    CreateTrayIcon();
    autostartOn_ = ReadAutostartCheck(GetProgramPath(), messageBox_);

    document_.SetTitleObserver([this] { UpdateTitle(); });
    UpdateTitle();
    applicationConnections_ = {
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { TrackActiveView(now); }),
        // The session ends (log-off, shut-down): keep the layout like Exit does.
        connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { SavePlacement(); }),
    };

    InstallShellReceiver(this);
    UpdateCommandStates();
}

CVMainWnd::~CVMainWnd() {
    // A link worker may still run; from now on its reports go nowhere.
    linkReports_->Close();
    // The panes go after this body; the focus moves while they do, and this window must
    // no longer hear of it.
    for (const QMetaObject::Connection& connection : applicationConnections_) disconnect(connection);
    // Waits for calls in progress on other threads; none can reach this window afterwards.
    InstallShellReceiver(nullptr);
    statusTimer_->stop();
    document_.SetTitleObserver({});
}

void CVMainWnd::CreatePanes() {
    outer_ = new QSplitter(Qt::Vertical, this);
    inner_ = new QSplitter(Qt::Horizontal, outer_);
    groupView_ = new CVGroupView(inner_);
    groupView_->SetFrame(this);
    itemView_ = new CVItemView(inner_);
    itemView_->SetFrame(this);
    eventView_ = new CVEventView(outer_);
    // What screen readers call the three panes.
    groupView_->setAccessibleName(QString::fromUtf8(Tr("服务器和组", "Servers and groups")));
    itemView_->setAccessibleName(QString::fromUtf8(Tr("变量", "Items")));
    eventView_->setAccessibleName(QString::fromUtf8(Tr("事件日志", "Event log")));
    for (QWidget* pane : std::initializer_list<QWidget*>{groupView_, itemView_, eventView_})
        pane->setMinimumSize(WindowPlacement::kMinimumPane, WindowPlacement::kMinimumPane);
    for (QSplitter* splitter : {outer_, inner_}) {
        splitter->setChildrenCollapsible(false);
        // The tree column and the upper row keep their size; the last pane takes the rest.
        splitter->setStretchFactor(0, 0);
        splitter->setStretchFactor(1, 1);
    }
    // Until the placement is restored: tree and list half the width each, the upper row
    // three quarters of the height.
    inner_->setSizes({1, 1});
    outer_->setSizes({3, 1});
    setCentralWidget(outer_);

    document_.AddView(groupView_);
    document_.AddView(itemView_);
    document_.AddView(eventView_);
    eventView_->SetContextActions(commands_.Find(ID_CLEAR_EVENTS), commands_.Find(ID_LOG_ERRORS_ONLY));
}

void CVMainWnd::CreateLinks() {
    const auto post = [this](std::function<void()> call) { posted_->Post(std::move(call)); };
    linkReports_ = std::make_shared<LinkReportChannel>(LinkReportChannel::Receiver{
        .beep = [post] { post([] { QApplication::beep(); }); },
        .message = [this, post](const std::string& text) { post([this, text] { ShowLinkMessage(text); }); },
        .tcpClientReport = [this](const std::string& text) { PostTcpClientReport(text); },
        .finished = {},
    });
    tcpClientLink_ = std::make_unique<CTcpClientLink>(linkReports_);
    serialLink_ = std::make_unique<CSerialLink>(linkReports_);
    connect(eventView_, &CVEventView::linkSettingsRequested, this, [this](unsigned id) { OnLinkSettings(id); });
}

void CVMainWnd::OnLinkSettings(unsigned commandId) {
    if (commandId == ID_TCP_CLIENT_SETTINGS) RunTcpClientSetDialog(this, *tcpClientLink_);
    if (commandId == ID_SERIAL_SETTINGS) RunCommSetDialog(this, *serialLink_);
}

void CVMainWnd::ShowLinkMessage(const std::string& text) {
    // A message box runs its own event loop, where the next message may arrive: it waits
    // for the box before it, so the boxes come in order and never stack.
    linkMessages_.push_back(text);
    if (showingLinkMessage_) return;
    showingLinkMessage_ = true;
    while (!linkMessages_.empty()) {
        const std::string next = std::move(linkMessages_.front());
        linkMessages_.pop_front();
        messageBox_(next);
    }
    showingLinkMessage_ = false;
}

void CVMainWnd::CreateStatusBar() {
    statusText_ = new QLabel(FromUtf8(LoadString(IDS_READY)));
    statusBar()->addWidget(statusText_, 1);
    itemCount_ = new QLabel;
    itemCount_->setContentsMargins(0, 0, 0, 0);
    itemCount_->setFixedWidth(kInitialCountWidth);
    statusBar()->addPermanentWidget(itemCount_);
}

void CVMainWnd::CreateTrayIcon() {
    tray_ = new QSystemTrayIcon(ApplicationIcon(), this);
    tray_->setToolTip(QString::fromLatin1(kTrayTip));
    trayMenu_ = new QMenu(this);
    AddMenuEntries(trayMenu_, TrayMenu(), commands_);
    connect(trayMenu_, &QMenu::aboutToShow, this, [this] { UpdateCommandStates(); });
    tray_->setContextMenu(trayMenu_);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick) ShowWindow();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable()) tray_->show();
}

void CVMainWnd::MapFrameCommands() {
    MapCommand(ID_APP_EXIT, [this] { OnExit(); });
    MapCommand(ID_SHOW_WINDOW, [this] { ShowWindow(); });
    MapCommand(ID_AUTOSTART, [this] { OnAutostart(); });
    MapCommand(ID_SPLIT_SAVE, [this] { OnSplitSave(); });
    MapCommand(ID_FORWARDING_SETTINGS, [this] { OnForwardingSettings(); });
    MapCommand(ID_GATEWAY_STATUS, [this] { OnGatewayStatus(); });
    MapCommand(ID_NEXT_PANE, [this] { MovePaneFocus(1); });
    MapCommand(ID_PREV_PANE, [this] { MovePaneFocus(-1); });
}

bool CVMainWnd::RouteCommand(unsigned id) {
    return ::RouteCommand(id, CommandRoute{activeView_, &document_, this, application_});
}

CommandContext CVMainWnd::BuildCommandContext() const {
    CommandContext c;
    c.busy = document_.IsBusy();
    c.modified = document_.IsModified();
    c.serverCount = document_.ServerCount();
    c.currentServer = document_.CurrentServer();
    c.currentGroup = document_.CurrentGroup();
    c.selectedItems = itemView_->SelectedCount();
    if (activeView_ == groupView_)
        c.activePane = ActivePane::GroupTree;
    else if (activeView_ == itemView_)
        c.activePane = ActivePane::ItemList;
    else if (activeView_ == eventView_)
        c.activePane = ActivePane::EventLog;
    c.eventRows = eventView_->RowCount();
    c.errorsOnly = eventView_->ErrorsOnly();
    return c;
}

void CVMainWnd::UpdateCommandStates() { rules_.Apply(BuildCommandContext(), commands_); }

void CVMainWnd::DispatchCommand(unsigned id) {
    // An accelerator or a toolbar button may fire before the timer has disabled it (a job's
    // event pump runs while the document is busy): the rule decides now.
    if (rules_.IsEnabled(id, BuildCommandContext())) RouteCommand(id);
    UpdateCommandStates();
}

void CVMainWnd::UpdateRecentFileMenu(QMenu* fileMenu) {
    for (QAction* action : recentActions_) fileMenu->removeAction(action);
    recentActions_.clear();
    QAction* marker = fileMenu->findChild<QAction*>(QStringLiteral("recent-files"));
    if (!recentFiles_ || !marker) return;
    const auto& entries = recentFiles_->Entries();
    for (int i = 0; i < static_cast<int>(entries.size()) && i <= int{ID_FILE_MRU_LAST - ID_FILE_MRU_FIRST}; ++i) {
        const QString text = QString::fromStdString(RecentFileList::MenuText(i, entries[i]));
        QAction* action = commands_.Define(ID_FILE_MRU_FIRST + static_cast<unsigned>(i), text);
        action->setText(text);
        fileMenu->insertAction(marker, action);
        recentActions_.push_back(action);
    }
}

void CVMainWnd::TrackActiveView(QWidget* focused) {
    // The active view stays when the focus leaves the panes (toolbar, menus, dialogs).
    for (QWidget* w = focused; w; w = w->parentWidget()) {
        if (w == groupView_)
            activeView_ = groupView_;
        else if (w == itemView_)
            activeView_ = itemView_;
        else if (w == eventView_)
            activeView_ = eventView_;
        else
            continue;
        return;
    }
}

void CVMainWnd::MovePaneFocus(int step) {
    QWidget* const panes[] = {groupView_, itemView_, eventView_};
    int current = 0;
    for (int i = 0; i < 3; ++i) {
        if (dynamic_cast<View*>(panes[i]) == activeView_) current = i;
    }
    QWidget* next = panes[(current + step + 3) % 3];
    next->setFocus(Qt::ShortcutFocusReason);
    TrackActiveView(next);
}

void CVMainWnd::UpdateTitle() {
    setWindowTitle(QString::fromLatin1(kTitlePrefix) + QString::fromStdString(document_.Title()));
}

void CVMainWnd::ActivateFrame() {
    if (placementRestored_) {
        ShowWindow();
        return;
    }
    placementRestored_ = true;
    const WindowPlacement p = ReadWindowPlacement(Profile(), QGuiApplication::primaryScreen());
    toolbar_->setVisible(p.toolbar);
    statusBar()->setVisible(p.statusBar);
    move(p.x, p.y);
    resize(p.cx, p.cy);
    if (p.state == -1)
        showMinimized();
    else if (p.state == 1)
        showMaximized();
    else
        show();
    // The saved sizes are pixels: set them once the splitters have their real size.
    const int innerRest = inner_->width() - p.groups - inner_->handleWidth();
    inner_->setSizes({p.groups, std::max(innerRest, WindowPlacement::kMinimumPane)});
    const int outerRest = outer_->height() - p.events - outer_->handleWidth();
    outer_->setSizes({p.events, std::max(outerRest, WindowPlacement::kMinimumPane)});
}

void CVMainWnd::SavePlacement() {
    if (!placementRestored_) return;  // never shown: nothing worth keeping
    WindowPlacement p;
    p.state = isMinimized() ? -1 : (isMaximized() ? 1 : 0);
    if (p.state == 0) {
        p.x = pos().x();
        p.y = pos().y();
        p.cx = width();
        p.cy = height();
    }
    p.groups = inner_->sizes().value(0);
    p.events = outer_->sizes().value(0);
    p.toolbar = !toolbar_->isHidden();
    p.statusBar = !statusBar()->isHidden();
    Profile profile;
    WriteWindowPlacement(profile, p);
    profile.Flush();
}

void CVMainWnd::ShowWindow() {
    if (!placementRestored_) {
        ActivateFrame();
        return;
    }
    show();  // a minimized window stays minimized
    if (!isMinimized()) {
        raise();
        activateWindow();
    }
}

void CVMainWnd::closeEvent(QCloseEvent* event) {
    if (exiting_) {
        event->accept();
        return;
    }
    // The close box only hides the window; the program goes on. Without a tray to bring it
    // back from, it is minimised instead.
    event->ignore();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_->show();
        hide();
    } else {
        showMinimized();
    }
}

void CVMainWnd::OnExit() {
    if (document_.IsBusy()) {
        QApplication::beep();
        return;
    }
    SavePlacement();
    // A cancelled "save changes?" keeps the program running with the project as it is.
    if (!document_.SaveModified()) return;
    document_.DeleteContents();
    exiting_ = true;
    close();
    // Ends the program after this command even when some window would refuse to close.
    QMetaObject::invokeMethod(
        qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void CVMainWnd::OnAutostart() { autostartOn_ = ToggleAutostart(autostartOn_, GetProgramPath(), messageBox_); }

void CVMainWnd::OnSplitSave() {
    // Only the project document can be saved in parts.
    if (auto* project = dynamic_cast<CVDocument*>(&document_)) RunSplitSaveCommand(this, *project, status_.ItemCount());
}

bool CVMainWnd::StartDataServer(const ForwardingSettings& settings, const CItemAddressRegistry& registry) {
    dataServer_ = std::make_unique<CDataServer>(registry);
    dataServer_->SetMessageBox(messageBox_);
    dataServer_->ApplySettings(settings);
    return dataServer_->StartServer(settings.port);
}

void CVMainWnd::OnForwardingSettings() {
    RunForwardingSettingsDialog(
        this,
        [this](const ForwardingSettings& settings) {
            if (!dataServer_) return;
            // Not listening yet (the port was taken at start): try again with the new settings.
            if (dataServer_->ApplySettings(settings) && dataServer_->Port() == 0)
                dataServer_->StartServer(settings.port);
        },
        [this](QWidget*, const std::string& text) { messageBox_(text); });
}

void CVMainWnd::OnGatewayStatus() {
    if (!statusWindow_) {
        statusWindow_ = new CGatewayStatusWindow(
            this, [this] { return static_cast<const CDataServer*>(dataServer_.get()); },
            [this]() -> std::optional<std::vector<const CVServer*>> {
                auto* project = dynamic_cast<CVDocument*>(&document_);
                if (!project) return std::vector<const CVServer*>{};
                if (project->IsBusy()) return std::nullopt;  // the worker changes the list
                std::vector<const CVServer*> servers;
                for (const CVServer* server = project->FirstServer(); server; server = server->next)
                    servers.push_back(server);
                return servers;
            });
    }
    statusWindow_->show();
    statusWindow_->raise();
    statusWindow_->activateWindow();
}

void CVMainWnd::AddEvent(int kind, const std::string& text) { eventView_->AddEvent(kind, text); }

void CVMainWnd::AddToItemCount(int delta) { status_.AddToItemCount(delta); }

void CVMainWnd::SetStatusText(const std::string& text) { status_.SetStatusText(text); }

void CVMainWnd::OnStatusTimer() {
    const StatusState::Changes changes = status_.TakeChanges();
    if (changes.itemCount) {
        const QString text = QString::fromStdString(FormatItemCount(*changes.itemCount));
        itemCount_->setFixedWidth(itemCount_->fontMetrics().horizontalAdvance(text));
        itemCount_->setText(text);
    }
    if (changes.text) statusText_->setText(QString::fromStdString(*changes.text));
    UpdateCommandStates();  // keeps the toolbar buttons current
}

void CVMainWnd::PostTcpClientReport(const std::string& text) {
    posted_->Post([this, text] { OnTcpClientReport(text); });
}

void CVMainWnd::PostItemStateChanged(void* item) {
    posted_->Post([this, item] { OnItemStateChanged(item); });
}

void CVMainWnd::OnTcpClientReport(const std::string& text) {
    TraceLine("%s:%d:\"%s\"\r\n", "MainWnd", __LINE__, text.c_str());
    document_.UpdateAllViews(nullptr, HINT_REPAINT_ALL, nullptr);
}

void CVMainWnd::OnItemStateChanged(void* item) {
    document_.UpdateAllViews(nullptr, HINT_ITEM_STATES_CHANGED, item);
    document_.MarkModified(true);
}
