// The application object: start-up in its fixed order (strings, names, recent files, the
// single-instance lock, the locale formatter, document and main window, then the project of
// OPC.cfg or the command line), and the commands File ▸ New, File ▸ Open, the recent files and
// the start address.
#pragma once

#include "docview/command_target.h"
#include "platform/instance/single_instance.h"
#include "ui/framework/recent_file_list.h"
#include "ui/mainframe/autostart_toggle.h"

#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CItemAddressRegistry;
class CVDocument;
class CVMainWnd;
class Document;
class DocumentClientNotifier;
class DocumentPrompts;
class DocumentWaitUi;

class CVApp : public CommandTarget {
public:
    static constexpr const char* kPathsSection = "Paths";
    static constexpr const char* kOpenFileKey = "Open File";

    // `lockName` names the single-instance lock (tests use names of their own).
    explicit CVApp(std::string lockName = SingleInstanceLock::kDefaultName);
    ~CVApp() override;

    // Brings the program up; false when it must end at once with ExitCode(): 0 when another
    // copy runs (nothing is created or written then), 1 when the command line failed.
    bool InitInstance(const QStringList& arguments);
    int ExitCode() const { return exitCode_; }

    const std::string& MakerName() const { return makerName_; }
    const std::string& AppName() const { return appName_; }
    const std::string& DefaultProgId() const { return defaultProgId_; }

    CVDocument* GetDocument() const { return document_.get(); }
    CVMainWnd* MainWnd() const { return mainWnd_.get(); }
    const RecentFileList& RecentFiles() const { return recentFiles_; }

    // Opens `path` as the current project and remembers its folder for File ▸ Open.
    bool OpenProject(const std::string& path);
    // Saves the project as File ▸ Save does; false when that failed or was cancelled.
    bool SaveCurrentProject();
    // Stores the new start address, renumbers every item and saves the project.
    void WriteStartAddress(int value);
    // File ▸ New: closes the current project (asking to save it) and starts an empty one.
    bool OnFileNew();
    // Opens `path` without touching the open-file folder; adds it to the recent files.
    bool OpenDocumentFile(const std::string& path);

    // For tests, before InitInstance: the document's questions, the main window's message
    // boxes and the open-file dialog (given the start folder, returns a path or empty).
    using OpenDialogFunction = std::function<std::string(const std::string& folder)>;
    void SetDocumentPrompts(DocumentPrompts* prompts) { testPrompts_ = prompts; }
    void SetMessageBox(MessageBoxFunction messageBox) { messageBox_ = std::move(messageBox); }
    void SetOpenDialog(OpenDialogFunction dialog) { openDialog_ = std::move(dialog); }
    // The port of the TCP data server instead of OPC.cfg's (0: any free port, so tests do not
    // meet the program).
    void SetDataServerPort(std::uint16_t port) { dataServerPort_ = port; }

private:
    void CreateFrame();
    void OnFileOpen();
    void OnRecentFile(unsigned id);
    std::string RunOpenDialog(const std::string& folder);

    // The process's one map of forwarding addresses: the project and the data server are
    // handed it from here.
    CItemAddressRegistry& registry_;
    std::string makerName_;
    std::string appName_;
    std::string defaultProgId_;
    SingleInstanceLock instanceLock_;
    RecentFileList recentFiles_;
    std::unique_ptr<DocumentPrompts> prompts_;
    DocumentPrompts* testPrompts_ = nullptr;
    MessageBoxFunction messageBox_;
    OpenDialogFunction openDialog_;
    // The document outlives the window: its views leave it when the window goes.
    std::unique_ptr<CVDocument> document_;
    std::unique_ptr<DocumentWaitUi> waitUi_;
    std::unique_ptr<CVMainWnd> mainWnd_;
    // Server notifications reach the document through it; it goes before the document.
    std::unique_ptr<DocumentClientNotifier> clientNotifier_;
    std::optional<std::uint16_t> dataServerPort_;  // else the forwarding settings' port
    bool comInitialised_ = false;
    int exitCode_ = 0;
};

// The one application object, for the product strings; null before it exists.
CVApp* TheApp();
