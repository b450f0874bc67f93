// The data server without the program around it, for load_client: N numeric items at
// addresses 0 to N-1, item k holding the VT_I4 value k with good quality, served on a port
// from a plain Qt event loop. Stops after the given seconds or on SIGTERM / SIGINT.
//
//   load_server [port=8890] [items=10000] [seconds=60] [updates_per_s=0] [allow]
// With updates_per_s > 0 a thread rewrites every item's value (same value, fresh quality) at
// that rate, as a server's data-change callbacks would, so replies contend for item locks.
// With `allow` (addresses and ranges, "127.0.0.0/8") the server runs with forwarding settings:
// that allow-list, writes only from it, and a limit of peers, as a guarded gateway would.
// The counters of the status window are kept in any case.
#include "forwarding/data_server.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

VARIANT I4(LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// Rewrites all values `rate` times per second until stopped.
class Updater {
public:
    Updater(std::vector<std::unique_ptr<CVItem>>& items, int rate) : items_(items), rate_(rate) {
        if (rate_ > 0) thread_ = std::thread([this] { Run(); });
    }
    ~Updater() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }

private:
    void Run() {
        const auto period = std::chrono::microseconds(1'000'000 / rate_);
        auto next = std::chrono::steady_clock::now();
        std::unique_lock lock(mutex_);
        while (!stop_) {
            lock.unlock();
            for (std::size_t k = 0; k < items_.size(); ++k) items_[k]->SetValue(I4(LONG(k)), 0xC0);
            lock.lock();
            next += period;
            wake_.wait_until(lock, next, [this] { return stop_; });
        }
    }

    std::vector<std::unique_ptr<CVItem>>& items_;
    const int rate_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
    const int port = argc > 1 ? std::atoi(argv[1]) : 8890;
    const int count = argc > 2 ? std::atoi(argv[2]) : 10000;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 60;
    const int rate = argc > 4 ? std::atoi(argv[4]) : 0;
    if (port < 0 || port > 65535 || count < 0 || count > 65536 || seconds <= 0 || rate < 0 || rate > 1000) {
        std::fprintf(stderr, "usage: %s [port] [items<=65536] [seconds] [updates_per_s<=1000]\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);

    std::vector<std::unique_ptr<CVItem>> items;
    items.reserve(std::size_t(count));
    for (int k = 0; k < count; ++k) {
        auto item = std::make_unique<CVItem>(nullptr);
        item->itemId = "Bench.Item" + std::to_string(k);
        item->SetDataType(VT_I4);
        item->added = TRUE;
        item->SetValue(I4(k), 0xC0);
        CItemAddressRegistry::Instance().RegisterAt(item.get(), k);
        items.push_back(std::move(item));
    }

    CDataServer server{CItemAddressRegistry::Instance()};
    if (argc > 5) {
        ForwardingSettings settings;
        AddressList::Parsed allowed = AddressList::Parse(argv[5]);
        if (!allowed.malformed.empty() || allowed.list.Empty()) {
            std::fprintf(stderr, "%s: not an allow-list: %s\n", argv[0], argv[5]);
            return 2;
        }
        settings.allowed = allowed.list;
        settings.writes = LinkWrites::kListed;
        settings.writers = allowed.list;
        settings.maxPeers = 1024;
        server.ApplySettings(settings);
    }
    if (!server.StartServer(std::uint16_t(port))) return 1;
    std::printf("listening 0.0.0.0:%u with %d items for %.0f s\n", server.Port(), count, seconds);
    std::fflush(stdout);
    Updater updater(items, rate);

    QTimer::singleShot(std::chrono::milliseconds(std::int64_t(seconds * 1000)), &app, &QCoreApplication::quit);
    QTimer watch;  // a signal only sets a flag; look at it now and then
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (stopRequested) app.quit();
    });
    watch.start(100);
    app.exec();
    std::printf("server exit: %zu connections open, %llu requests\n", server.ConnectionCount(),
                static_cast<unsigned long long>(ForwardingCounters::Read(server.Counters().requests)));
    return 0;
}
