#include "app/headless_app.h"

#include "app/command_line.h"
#include "app/console_log.h"
#include "app/stop_signals.h"
#include "app/systemd_notify.h"
#include "forwarding/data_server.h"
#include "forwarding/forwarding_settings.h"
#include "forwarding/gateway_status.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "persistence/document_notifier.h"
#include "platform/com/class_registry.h"
#include "platform/config/opc_config.h"
#include "platform/instance/single_instance.h"
#include "platform/shell/trace.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

// What the document would ask an operator: there is none, so errors go to standard error
// and a project with changes is kept (saved to its own file).
class HeadlessPrompts : public DocumentPrompts {
public:
    Answer AskSaveChanges(const std::string&) override { return Answer::Yes; }
    std::string AskSavePath(const std::string&) override { return {}; }
    void ShowError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

int RunHeadless(const CommandLine& line, const HeadlessOptions& options) {
    QCoreApplication::setOrganizationName(FromUtf8(LoadString(IDS_MAKER_NAME)));
    QCoreApplication::setApplicationName(FromUtf8(LoadString(IDS_APP_NAME)));
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    SingleInstanceLock lock(options.lockName);
    if (!lock.Acquire()) {
        // Another copy runs: end at once, touching nothing, but say so (a service's journal).
        std::fprintf(stderr, "opcstation: another copy is running (it holds the lock %s); ending\n",
                     options.lockName.c_str());
        CoUninitialize();
        return 0;
    }

    // Standard output is the journal of events: a line at a time, trace lines only when asked,
    // and each line with its priority when the journal reads it.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    SetTraceEnabled(line.trace);
    ConsoleLog log(stdout, std::getenv("JOURNAL_STREAM") != nullptr);
    InstallShellReceiver(&log);
    simserver::RegisterSimulationServers();
    rpc::InstallRemoteActivation(rpc::ServerHostProgram());
    CItemAddressRegistry& registry = CItemAddressRegistry::Instance();
    int status = 0;
    {
        CVDocument document(registry);
        HeadlessPrompts prompts;
        document.SetPrompts(&prompts);
        DocumentClientNotifier notifier(document);
        CDataServer dataServer(registry);
        dataServer.SetMessageBox([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
        ForwardingSettingsRead forwarding = ReadForwardingSettings();
        ReportSettingsProblems(forwarding.problems);
        if (options.port) forwarding.settings.port = *options.port;
        dataServer.ApplySettings(forwarding.settings);
        // A stop during the start-up (the servers connecting) comes before the loop runs, where
        // quit() would be lost: it is remembered, and the program then does not begin to serve.
        bool stopRequested = false;
        StopSignals stop([&stopRequested] {
            std::fprintf(stderr, "opcstation: stopping\n");
            stopRequested = true;
            QCoreApplication::quit();
        });

        // Connecting takes as long as the servers make it (an unreachable one its timeout):
        // systemd hears that the start-up goes on, so the unit's start timeout never ends it.
        const auto startingUp = [] { NotifySystemd("EXTEND_TIMEOUT_USEC=30000000\nSTATUS=connecting the project's servers"); };
        startingUp();
        QTimer startUp;
        QObject::connect(&startUp, &QTimer::timeout, startingUp);
        startUp.start(std::chrono::seconds(10));

        const std::string last = ReadProjectPath();
        if (!last.empty() && QFileInfo(QString::fromStdString(last)).isFile()) {
            // The last project, written straight back to its file, as the desktop start does.
            if (document.OnOpenDocument(last)) {
                document.SetModifiedFlag(true);
                document.DoFileSave();
            }
        } else if (!line.project.empty()) {
            const std::string path = QFileInfo(QString::fromStdString(line.project)).absoluteFilePath().toStdString();
            if (!document.OnOpenDocument(path)) status = 1;
        } else {
            document.OnNewDocument();
        }
        startUp.stop();
        if (status == 0 && !stopRequested && !dataServer.StartServer(forwarding.settings.port)) status = 1;
        if (status == 0 && !stopRequested) {
            std::fprintf(stderr, "opcstation: serving port %u\n", static_cast<unsigned>(dataServer.Port()));
            NotifySystemd("READY=1\nSTATUS=serving port " + std::to_string(dataServer.Port()));
            QTimer watchdog;
            if (const auto interval = SystemdWatchdogInterval(); interval.count() > 0) {
                QObject::connect(&watchdog, &QTimer::timeout, [] { NotifySystemd("WATCHDOG=1"); });
                watchdog.start(interval);
            }
            GatewayStatusSampler sampler;
            const auto sample = [&] {
                std::vector<const CVServer*> servers;
                if (!document.IsBusy())
                    for (const CVServer* server = document.FirstServer(); server; server = server->next)
                        servers.push_back(server);
                return sampler.Sample(&dataServer, servers, GatewayStatusSampler::Clock::now());
            };
            QTimer statusLine;
            if (line.statusSeconds > 0) {
                sample();  // the rates of the first line are taken from here
                QObject::connect(&statusLine, &QTimer::timeout, [&] { log.AddEvent(0, FormatStatusLine(sample())); });
                statusLine.start(std::chrono::seconds(line.statusSeconds));
            }
            QCoreApplication::exec();
            NotifySystemd("STOPPING=1");
            if (document.IsModified() && !document.PathName().empty()) document.DoFileSave();
        }
        document.DeleteContents();  // disconnects every server
        document.SetPrompts(nullptr);
    }
    std::fprintf(stderr, "opcstation: stopped\n");
    rpc::UninstallRemoteActivation();  // the connections to server hosts, now unused
    InstallShellReceiver(nullptr);
    CoUninitialize();
    return status;
}
