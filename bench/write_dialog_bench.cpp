// The write dialog with 1,000 selected items: how long it takes to open, what its 100 ms repaint
// of the current values costs the GUI thread, and a synchronous write of all 1,000 from OK to the
// values read back; once with the server in process and once through opcserverd.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/bench_write_dialog [items]
#include "bench/host_process.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"
#include "ui/controls/list_edit.h"
#include "ui/items/item_write_dlg.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr unsigned kPort = 18893;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

std::string ValueOf(const CVItem& item) {
    std::string text;
    item.FormatValue(text);
    return text;
}

void RunCase(const char* where, const std::string& computer, int count) {
    CVServer server;
    server.progId = simserver::kDefaultProgId;
    server.remoteComputer = computer;
    if (!server.Connect()) {
        std::printf("%s: cannot connect\n", where);
        return;
    }
    auto* group = new CVGroup(&server);
    group->SetName("Bench");
    group->updateRate = 10;  // the written values come back at the server's fastest rate
    server.AddGroup(group, false);
    // The server's writable tags, each many times over.
    const char* const writable[] = {"Writable.I1", "Writable.I2", "Writable.I4", "Writable.UI1", "Writable.UI2",
                                    "Writable.UI4", "Writable.R4", "Writable.R8", "Writable.Tag"};
    std::vector<CVItem*> items;
    for (int i = 0; i < count; ++i) {
        auto* item = new CVItem(group);
        item->itemId = writable[static_cast<std::size_t>(i) % std::size(writable)];
        item->active = TRUE;
        items.push_back(item);
    }
    group->AddItems(items.data(), count, false);

    auto start = Clock::now();
    auto dialog = std::make_unique<CVItemWriteDlg>(*group, items, WriteMode::Sync);
    dialog->show();
    QCoreApplication::processEvents();
    const double open = Ms(start);

    std::vector<double> repaints;
    for (int tick = 0; tick < 50; ++tick) {
        start = Clock::now();
        dialog->RepaintCurrentValues();
        dialog->List()->viewport()->repaint();  // what the timer's update costs once painted
        repaints.push_back(Ms(start));
    }
    std::sort(repaints.begin(), repaints.end());

    const std::string value = "42";
    dialog->List()->FinishEdit();
    for (int row = 0; row < count; ++row) {
        dialog->Rows().setData(dialog->Rows().index(row, ItemWriteModel::kWriteValue), QString::fromStdString(value),
                               Qt::EditRole);
        items[static_cast<std::size_t>(row)]->pendingWrite = TRUE;
    }
    start = Clock::now();
    dialog->accept();
    const auto written = [&] {
        for (CVItem* item : items)
            if (ValueOf(*item) != value) return false;
        return true;
    };
    while (!written() && Ms(start) < 20000) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    const double write = Ms(start);

    std::printf("%s:\n", where);
    std::printf("  open the dialog with %d items        %8.1f ms\n", count, open);
    std::printf("  the 100 ms repaint (median / max)      %8.2f / %.2f ms\n", repaints[repaints.size() / 2],
                repaints.back());
    std::printf("  synchronous write, OK to values back   %8.1f ms%s\n", write, written() ? "" : " (incomplete)");
    server.Disconnect();
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    simserver::RegisterSimulationServers();
    RunCase("in process", "", count);

    HostProcess host(OPCSERVERD_PATH, kPort, 10);
    if (!host.Running()) {
        std::printf("cannot start %s\n", OPCSERVERD_PATH);
        return 1;
    }
    rpc::InstallRemoteActivation("", rpc::HostTransport::PlainTcp());
    RunCase("through opcserverd", "127.0.0.1:" + std::to_string(kPort), count);
    rpc::UninstallRemoteActivation();
    return 0;
}
