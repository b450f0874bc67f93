// The main window: toolbar, menus, the three panes in two splitters (group tree and item
// list above, event log below), the two-pane status bar, the tray icon and the autostart
// toggle. It routes every command (active view, document, frame, application, other views),
// enables them by its rules, receives the shell services (event log, item count, status
// text) from any thread, and hides to the tray when its close box is pressed: only Exit ends
// the program.
#pragma once

#include "docview/command_target.h"
#include "platform/shell/shell.h"
#include "ui/framework/command_rules.h"
#include "ui/framework/command_table.h"
#include "ui/framework/frame_commands.h"
#include "ui/mainframe/autostart_toggle.h"
#include "ui/mainframe/status_state.h"

#include <QMainWindow>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class CDataServer;
class CGatewayStatusWindow;
struct ForwardingSettings;
class CSerialLink;
class CTcpClientLink;
class CItemAddressRegistry;
class CVEventView;
class Document;
class CVGroupView;
class CVItemView;
class LinkReportChannel;
class PostedCalls;
class QLabel;
class QMenu;
class QSplitter;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class RecentFileList;
class View;

class CVMainWnd : public QMainWindow, public CommandTarget, public ShellReceiver, public FrameCommands {
public:
    static constexpr int kStatusTimerMs = 250;

    // Builds the window (not yet shown) for `document` and installs it as the shell receiver.
    // `messageBox` shows the autostart messages; the default is a plain message box titled
    // with the application's name.
    explicit CVMainWnd(Document& document, MessageBoxFunction messageBox = {});
    ~CVMainWnd() override;

    // Where commands go after the frame, and the list the File menu shows.
    void SetApplication(CommandTarget* application) { application_ = application; }
    void SetRecentFiles(const RecentFileList* recentFiles) { recentFiles_ = recentFiles; }

    // First activation restores the saved placement and shows the window; later ones show it.
    void ActivateFrame();
    void SavePlacement();

    // Offers command `id` along the route; true when a target handled it.
    bool RouteCommand(unsigned id);
    // Applies the enabling rules to every command (before a menu opens, and on the timer).
    void UpdateCommandStates() override;
    // A menu, toolbar button, accelerator or pane key fired `id`: routed when its rule allows.
    void DispatchCommand(unsigned id) override;
    QAction* CommandAction(unsigned id) const override { return commands_.Find(id); }
    CommandContext BuildCommandContext() const;
    CommandRules& Rules() { return rules_; }
    CommandTable& Commands() { return commands_; }

    // ShellReceiver: any thread.
    void AddEvent(int kind, const std::string& text) override;
    void AddToItemCount(int delta) override;
    void SetStatusText(const std::string& text) override;
    // Shows what changed in the status bar (the 250 ms timer).
    void OnStatusTimer();

    // Window messages: any thread may post them; they run on the GUI thread. (A server's
    // shutdown request reaches the document through its client notifier.) The TCP client
    // link's report carries its text, which is traced but not shown.
    void PostTcpClientReport(const std::string& text);
    void PostItemStateChanged(void* item);

    // Panes.
    CVGroupView* GroupView() const { return groupView_; }
    CVItemView* ItemView() const { return itemView_; }
    CVEventView* EventView() const { return eventView_; }
    QSplitter* OuterSplitter() const { return outer_; }
    QSplitter* InnerSplitter() const { return inner_; }
    QToolBar* ToolBar() const { return toolbar_; }
    QLabel* StatusPane(int index) const { return index == 0 ? statusText_ : itemCount_; }
    bool AutostartChecked() const { return autostartOn_; }

    // Starts the TCP data server for peers with the forwarding settings (port 8890 unless they
    // say otherwise; tests give 0 for any free port); a failure is shown in a message box and
    // the window goes on without it.
    bool StartDataServer(const ForwardingSettings& settings, const CItemAddressRegistry& registry);
    CDataServer* DataServer() const { return dataServer_.get(); }
    // The status window, once the View menu has opened it.
    CGatewayStatusWindow* GatewayStatusWindow() const { return statusWindow_; }

    // The link checks that the event log's two buttons configure and start. Their workers
    // beep and show messages through this window.
    CTcpClientLink& TcpClientLink() const { return *tcpClientLink_; }
    CSerialLink& SerialLink() const { return *serialLink_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreatePanes();
    void CreateStatusBar();
    void CreateTrayIcon();
    void MapFrameCommands();
    void UpdateTitle();
    void UpdateRecentFileMenu(QMenu* fileMenu);
    void TrackActiveView(QWidget* focused);
    void MovePaneFocus(int step);
    void ShowWindow();

    // Frame commands.
    void OnExit();
    void OnAutostart();
    void OnSplitSave();
    void OnForwardingSettings();
    void OnGatewayStatus();
    void CreateLinks();
    void OnLinkSettings(unsigned commandId);
    // A link worker's message boxes, one after the other.
    void ShowLinkMessage(const std::string& text);
    // Window message handlers.
    void OnTcpClientReport(const std::string& text);
    void OnItemStateChanged(void* item);

    Document& document_;
    CommandTarget* application_ = nullptr;
    const RecentFileList* recentFiles_ = nullptr;
    MessageBoxFunction messageBox_;
    CommandTable commands_;
    CommandRules rules_;
    StatusState status_;

    QToolBar* toolbar_ = nullptr;
    QLabel* statusText_ = nullptr;
    QLabel* itemCount_ = nullptr;
    QSplitter* outer_ = nullptr;
    QSplitter* inner_ = nullptr;
    CVGroupView* groupView_ = nullptr;
    CVItemView* itemView_ = nullptr;
    CVEventView* eventView_ = nullptr;
    View* activeView_ = nullptr;
    PostedCalls* posted_ = nullptr;  // calls from server threads, run here
    QTimer* statusTimer_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    std::vector<QAction*> recentActions_;
    std::vector<QMetaObject::Connection> applicationConnections_;
    std::unique_ptr<CDataServer> dataServer_;
    CGatewayStatusWindow* statusWindow_ = nullptr;  // made when first asked for
    std::shared_ptr<LinkReportChannel> linkReports_;
    std::unique_ptr<CTcpClientLink> tcpClientLink_;
    std::unique_ptr<CSerialLink> serialLink_;
    std::deque<std::string> linkMessages_;
    bool showingLinkMessage_ = false;

    bool placementRestored_ = false;
    bool autostartOn_ = false;
    bool exiting_ = false;
};
