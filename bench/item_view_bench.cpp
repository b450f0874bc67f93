// The item list under load: one group of 50,000 items at a 100 ms update rate on a simulation
// server, shown in the main window (offscreen platform). Prints the GUI-thread cost of the
// timer's repaint, of rebuilding the list for the group and of sorting it by value, and the
// event loop's latency (how long a posted event waits) while the values stream in.
//
//   QT_QPA_PLATFORM=offscreen build/release/bench/bench_item_view [items]
#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "platform/com/class_registry.h"
#include "platform/settings/profile.h"
#include "simserver/server_registry.h"
#include "simserver/sim_config.h"
#include "ui/items/item_cells.h"
#include "ui/items/item_list_model.h"
#include "ui/items/item_view.h"
#include "ui/mainframe/main_wnd.h"
#include "ui/navigation/group_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QSplitter>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct Figures {
    double median, p99, max;
};

Figures Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<std::size_t>(q * (samples.size() - 1))]; };
    return {at(0.5), at(0.99), samples.back()};
}

template <class Work>
Figures Time(int runs, Work work) {
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work(i);
        samples.push_back(Milliseconds(Clock::now() - start));
    }
    return Summarise(samples);
}

void Print(const char* what, const Figures& f) {
    std::printf("%-44s median %8.2f ms   p99 %8.2f ms   max %8.2f ms\n", what, f.median, f.p99, f.max);
}

void Pump(int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int itemCount = argc > 1 ? std::atoi(argv[1]) : 50000;
    QTemporaryDir profileFolder;
    Profile::UseFolderForTesting(profileFolder.path().toStdString());
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);

    simserver::SimConfig config;
    config.loadTagCount = static_cast<unsigned>(itemCount);
    simserver::RegisterSimulationServer("Orvane.LoadBench", config);

    CVDocument document(CItemAddressRegistry::Instance());
    CVMainWnd window(document, [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    window.ActivateFrame();
    window.resize(1280, 800);
    window.OuterSplitter()->setSizes({600, 150});
    window.InnerSplitter()->setSizes({250, 1030});

    auto* server = new CVServer;
    server->progId = "Orvane.LoadBench";
    document.AddNewServer(server);
    auto* group = new CVGroup(server);
    group->SetName("Load");
    group->updateRate = 100;
    server->LinkGroup(group);
    const int width = itemCount > 10000 ? static_cast<int>(std::to_string(itemCount - 1).size()) : 4;
    for (int i = 0; i < itemCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Load.T%0*d", width, i);
        auto* item = new CVItem(group);
        item->itemId = name;
        item->SetDataType(VT_I4);
        item->active = TRUE;
        group->LinkItem(item);
        CItemAddressRegistry::Instance().Register(item);
    }
    document.UpdateAllViews(nullptr, HINT_GROUP_ADDED, group);
    document.ConnectServer(server);
    if (!server->IsConnected()) {
        std::fprintf(stderr, "the simulation server did not connect\n");
        return 1;
    }
    Pump(1000);  // values arrive for every item
    CVItemView& view = *window.ItemView();
    std::printf("list viewport %dx%d, visible %d\n", view.viewport()->width(), view.viewport()->height(),
                view.isVisible() ? 1 : 0);
    std::printf("%d items at %lu ms, %d rows listed, first value %s\n", itemCount,
                static_cast<unsigned long>(group->updateRate), view.Model().rowCount(),
                view.Model().CellText(0, kColumnValue).toStdString().c_str());

    Print("rebuild the list for the group (hint 1022)", Time(10, [&](int) {
              document.UpdateAllViews(nullptr, HINT_GROUP_SELECTED, group);
          }));
    Print("sort by value (header click)", Time(10, [&](int) { view.SortByColumn(kColumnValue); }));
    Print("sort by item ID (header click)", Time(10, [&](int) { view.SortByColumn(kColumnItemId); }));
    const QRect live(view.columnViewportPosition(1), 0, view.viewport()->width(), view.viewport()->height());
    Print("timer repaint of the live columns", Time(50, [&](int) { view.viewport()->repaint(live); }));
    const int visibleRows = view.rowAt(view.viewport()->height() - 1) - view.rowAt(0) + 1;
    Print("  of which cell texts (visible rows, 6 columns)", Time(50, [&](int) {
              for (int row = view.rowAt(0); row < view.rowAt(0) + visibleRows; ++row)
                  for (int column = 1; column < kItemColumnCount; ++column)
                      (void)view.Model().data(view.Model().index(row, column), Qt::DisplayRole);
          }));

    // Event loop latency: another thread posts an event every 10 ms for 5 s; each records how
    // long it waited for the GUI thread, with values streaming in and the timer repainting.
    view.SetUpdateInterval(100);
    std::vector<double> waits;
    std::atomic<bool> done{false};
    std::thread poster([&] {
        while (!done) {
            const auto posted = Clock::now();
            QMetaObject::invokeMethod(
                &window, [&waits, posted] { waits.push_back(Milliseconds(Clock::now() - posted)); },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    Pump(5000);
    done = true;
    poster.join();
    Pump(50);
    Print("posted event wait (5 s, 100 ms repaints)", Summarise(waits));
    std::printf("update count of the first row after the run: %s\n",
                view.Model().CellText(0, kColumnUpdateCount).toStdString().c_str());

    document.DeleteContents();
    return 0;
}
