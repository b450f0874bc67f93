#include "app/vapp.h"

#include "app/project_operations.h"
#include "docview/document.h"
#include "forwarding/forwarding_settings.h"
#include "opc/client/item_address_registry.h"
#include "persistence/document.h"
#include "persistence/document_notifier.h"
#include "platform/com/class_registry.h"
#include "platform/config/opc_config.h"
#include "platform/locale/locale_date_time.h"
#include "platform/settings/profile.h"
#include "platform/strings/command_ids.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"
#include "ui/forwarding/set_start_addr_dialog.h"
#include "ui/framework/file_filter.h"
#include "ui/framework/qt_document_prompts.h"
#include "ui/mainframe/main_wnd.h"
#include "ui/persistence/qt_wait_ui.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

namespace {
// The document type's filter: the Save As dialog offers it.
constexpr const char* kDocumentFilter = "OPC Station Files (*.ovopc)|*.ovopc|";

CVApp* g_app = nullptr;

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

CVApp* TheApp() { return g_app; }

CVApp::CVApp(std::string lockName)
    : registry_(CItemAddressRegistry::Instance()), instanceLock_(std::move(lockName)), recentFiles_(4) {
    g_app = this;
    MapCommand(ID_FILE_NEW, [this] { OnFileNew(); });
    MapCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
    MapCommandRange(ID_FILE_MRU_FIRST, ID_FILE_MRU_LAST, [this](unsigned id) { OnRecentFile(id); });
    MapCommand(ID_START_ADDRESS, [this] {
        CSetStartAddrDialog::MessageFunction message;
        if (messageBox_) message = [this](QWidget*, const std::string& text) { messageBox_(text); };
        RunSetStartAddressDialog(
            mainWnd_.get(), [this](int address) { WriteStartAddress(address); }, message);
    });
}

CVApp::~CVApp() {
    clientNotifier_.reset();
    mainWnd_.reset();
    if (document_) document_->DeleteContents();  // disconnects every server
    document_.reset();
    rpc::UninstallRemoteActivation();  // the connections to server hosts, now unused
    if (comInitialised_) CoUninitialize();
    if (g_app == this) g_app = nullptr;
}

bool CVApp::InitInstance(const QStringList& arguments) {
    makerName_ = LoadString(IDS_MAKER_NAME);
    appName_ = LoadString(IDS_APP_NAME);
    defaultProgId_ = LoadString(IDS_DEFAULT_PROGID);
    QCoreApplication::setOrganizationName(FromUtf8(makerName_));
    QCoreApplication::setApplicationName(FromUtf8(appName_));
    recentFiles_.Load();
    comInitialised_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (!comInitialised_) {
        exitCode_ = 1;
        return false;
    }

    if (!instanceLock_.Acquire()) {
        // Another copy runs: end silently, creating and writing nothing.
        exitCode_ = 0;
        return false;
    }
    // Only Exit ends the program; a closed window lives on in the tray.
    QApplication::setQuitOnLastWindowClosed(false);
    // Regional settings changed: dates and times are drawn anew. The formatter starts once
    // per process, so the callback finds the application when it runs.
    LocaleDateTime::Process().Start([] {
        CVMainWnd* window = TheApp() ? TheApp()->MainWnd() : nullptr;
        if (!window) return;
        for (QWidget* widget : window->findChildren<QWidget*>()) widget->update();
    });
    // Our own OPC DA servers, so that a new connection's default ProgID resolves at once;
    // servers on other computers, or in this machine's server host, through their proxies.
    simserver::RegisterSimulationServers();
    rpc::InstallRemoteActivation(rpc::ServerHostProgram());
    CreateFrame();

    const std::string project = ReadProjectPath();
    if (!project.empty() && QFileInfo(QString::fromStdString(project)).isFile()) {
        // Reopen the last project and write it straight back to its file.
        if (OpenProject(project)) {
            document_->SetModifiedFlag(true);
            document_->DoFileSave();
        }
    } else if (arguments.size() > 1) {
        if (!OpenDocumentFile(arguments.at(1).toStdString())) {
            exitCode_ = 1;
            return false;
        }
    } else {
        OnFileNew();
    }
    mainWnd_->ActivateFrame();
    return true;
}

void CVApp::CreateFrame() {
    document_ = std::make_unique<CVDocument>(registry_);
    waitUi_ = std::make_unique<QtDocumentWaitUi>();
    document_->SetWaitUi(waitUi_.get());
    clientNotifier_ = std::make_unique<DocumentClientNotifier>(*document_);
    mainWnd_ = std::make_unique<CVMainWnd>(*document_, messageBox_);
    mainWnd_->SetApplication(this);
    mainWnd_->SetRecentFiles(&recentFiles_);
    // Read once the window is there to show what is wrong with them.
    ForwardingSettingsRead forwarding = ReadForwardingSettings();
    ReportSettingsProblems(forwarding.problems);
    if (dataServerPort_) forwarding.settings.port = *dataServerPort_;
    mainWnd_->StartDataServer(forwarding.settings, registry_);
    if (!testPrompts_) prompts_ = std::make_unique<QtDocumentPrompts>(mainWnd_.get(), ToQtFileFilter(kDocumentFilter));
    document_->SetPrompts(testPrompts_ ? testPrompts_ : prompts_.get());
}

bool CVApp::SaveCurrentProject() { return document_ && ::SaveCurrentProject(*document_); }

void CVApp::WriteStartAddress(int value) {
    if (document_) ::WriteStartAddress(value, registry_, *document_);
}

bool CVApp::OnFileNew() {
    if (!document_->SaveModified()) return false;
    return document_->OnNewDocument();
}

bool CVApp::OpenDocumentFile(const std::string& path) {
    const std::string fullPath = QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
    if (!document_->SaveModified()) return false;
    if (!document_->OnOpenDocument(fullPath)) {
        document_->OnNewDocument();  // the failed open may have emptied the project
        return false;
    }
    document_->SetPathName(fullPath);
    recentFiles_.Add(fullPath);
    return true;
}

bool CVApp::OpenProject(const std::string& path) {
    const auto slash = path.find_last_of('/');
    Profile profile;
    profile.WriteString(kPathsSection, kOpenFileKey, slash == std::string::npos ? "" : path.substr(0, slash));
    profile.Flush();
    if (!OnFileNew()) return false;
    return OpenDocumentFile(path);
}

void CVApp::OnFileOpen() {
    const std::string folder = Profile().GetString(kPathsSection, kOpenFileKey, "");
    const std::string path = openDialog_ ? openDialog_(folder) : RunOpenDialog(folder);
    if (!path.empty()) OpenProject(path);
}

std::string CVApp::RunOpenDialog(const std::string& folder) {
    QFileDialog dialog(mainWnd_.get(), QString(), QString::fromStdString(folder),
                       ToQtFileFilter(LoadString(IDS_PROJECT_FILTER)));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(FromUtf8(LoadString(IDS_PROJECT_EXTENSION)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

void CVApp::OnRecentFile(unsigned id) {
    const int index = static_cast<int>(id - ID_FILE_MRU_FIRST);
    if (index >= static_cast<int>(recentFiles_.Entries().size())) return;
    const std::string path = recentFiles_.Entries()[index];
    if (!OnFileNew()) return;
    // A file that cannot be opened any more leaves the list (after the open's message).
    if (!OpenDocumentFile(path)) recentFiles_.Remove(index);
}
