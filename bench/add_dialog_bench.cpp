// The add item dialog against a branch of many leaves (the simulation server's load tags):
// opening the dialog, expanding the root, listing the branch, and adding 10,000 chosen leaves
// from OK to values flowing; once with the server in process and once through opcserverd.
// Browsing runs on the dialog's worker; beside each listing the longest the GUI thread went
// without answering is shown.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/bench_add_dialog [leaves]
#include "bench/host_process.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "platform/settings/profile.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"
#include "ui/items/item_add_dlg.h"
#include "ui/items/leaf_list_model.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kPort = 18892;
constexpr int kChosen = 10000;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// Runs the event loop until the dialog's browsing calls have answered, and measures the longest
// the GUI thread went without answering meanwhile: a 1 ms timer's largest gap.
struct Settled {
    double ms;
    double longestGapMs;
};
Settled Settle(CVItemAddDlg& dialog, Clock::time_point start) {
    double longest = 0;
    auto last = Clock::now();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, Ms(last));
        last = Clock::now();
    });
    tick.start(1);
    while (dialog.IsWorking()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return {Ms(start), std::max(longest, Ms(last))};
}

QTreeWidgetItem* ChildNamed(QTreeWidgetItem* parent, const char* name) {
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == QLatin1String(name)) return parent->child(i);
    return nullptr;
}

void RunCase(const char* where, const std::string& progId, const std::string& computer) {
    CVDocument document(CItemAddressRegistry::Instance());
    auto* server = new CVServer;
    server->progId = progId;
    server->remoteComputer = computer;
    document.AddNewServer(server);
    if (!server->Connect()) {
        std::printf("%s: cannot connect\n", where);
        return;
    }
    auto* group = new CVGroup(server);
    group->SetName("Bench");
    server->AddGroup(group, false);

    auto start = Clock::now();
    auto dialog = std::make_unique<CVItemAddDlg>(*group, server->BrowseAddressSpace());
    const double shown = Ms(start);
    const double open = Settle(*dialog, start).ms;
    QTreeWidgetItem* root = dialog->BranchTree()->topLevelItem(0);
    start = Clock::now();
    dialog->BranchTree()->expandItem(root);
    const double expand = Settle(*dialog, start).ms;
    QTreeWidgetItem* load = ChildNamed(root, "Load");
    if (!load) {
        std::printf("%s: no Load branch\n", where);
        return;
    }
    start = Clock::now();
    dialog->BranchTree()->setCurrentItem(load);
    const Settled list = Settle(*dialog, start);
    const int rows = dialog->Leaves().rowCount();

    const int chosen = std::min(kChosen, rows);
    QItemSelectionModel* selection = dialog->LeafList()->selectionModel();
    selection->select(QItemSelection(dialog->Leaves().index(0), dialog->Leaves().index(chosen - 1)),
                      QItemSelectionModel::ClearAndSelect);
    start = Clock::now();
    dialog->AddSelectedLeaves();
    const Settled addButton = Settle(*dialog, start);

    start = Clock::now();
    dialog->accept();
    std::vector<CVItem*> items = dialog->TakeItems();
    dialog.reset();
    document.AddNewItems(*group, items);
    const double added = Ms(start);
    const auto flowing = [&] {
        for (CVItem* item : items)
            if (item->GetUpdateCount() == 0) return false;
        return true;
    };
    while (!flowing() && Ms(start) < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double toValues = Ms(start);

    std::printf("%s:\n", where);
    std::printf("  open the dialog (shown / root listed) %8.1f / %.1f ms\n", shown, open);
    std::printf("  expand the root                      %9.1f ms\n", expand);
    std::printf("  list a branch of %6d leaves        %9.1f ms (GUI thread's longest gap %.1f ms)\n", rows,
                list.ms, list.longestGapMs);
    std::printf("  Add items on %5d leaves             %9.1f ms (GUI thread's longest gap %.1f ms)\n", chosen,
                addButton.ms, addButton.longestGapMs);
    std::printf("  OK to %5d items added               %9.1f ms\n", static_cast<int>(items.size()), added);
    std::printf("  OK to values flowing on every item   %9.1f ms\n", toValues);
    document.DeleteContents();
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const unsigned leaves = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 100000;
    QTemporaryDir profile;
    Profile::UseFolderForTesting(profile.path().toStdString());

    simserver::RegisterSimulationServers();
    simserver::SimConfig config;
    config.loadTagCount = leaves;
    simserver::RegisterSimulationServer("Bench.AddDialog", config);
    RunCase("in process", "Bench.AddDialog", "");

    HostProcess host(OPCSERVERD_PATH, kPort, leaves);
    if (!host.Running()) {
        std::printf("cannot start %s\n", OPCSERVERD_PATH);
        return 1;
    }
    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    RunCase("through opcserverd", simserver::kDefaultProgId, "127.0.0.1:" + std::to_string(kPort));
    rpc::UninstallRemoteActivation();
    return 0;
}
