#include "platform/shell/shell.h"
#include "platform/strings/string_table.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

class Recorder : public ShellReceiver {
public:
    void AddEvent(int kind, const std::string& text) override {
        std::lock_guard lock(mutex);
        events.emplace_back(kind, text);
    }
    void AddToItemCount(int delta) override {
        std::lock_guard lock(mutex);
        count += delta;
    }
    void SetStatusText(const std::string& text) override {
        std::lock_guard lock(mutex);
        status = text;
    }
    std::mutex mutex;
    std::vector<std::pair<int, std::string>> events;
    int count = 0;
    std::string status;
};

struct Installed {
    explicit Installed(ShellReceiver* r) { InstallShellReceiver(r); }
    ~Installed() { InstallShellReceiver(nullptr); }
};

}  // namespace

TEST(Shell, LogEventFormatsFromTheStringTableAndKindsById) {
    Recorder recorder;
    Installed installed(&recorder);
    LogEvent(IDS_GROUP_ADDED, "G1", "Orvane OPC");
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].first, 0);
    EXPECT_EQ(recorder.events[0].second, "增加组 'G1' 到 'Orvane OPC'.");
    EXPECT_EQ(EventKindOf(15999), 0);
    EXPECT_EQ(EventKindOf(16000), 1);
    EXPECT_EQ(EventKindOf(16999), 1);
}

TEST(Shell, LongTextIsCutTo511Bytes) {
    Recorder recorder;
    Installed installed(&recorder);
    const std::string longName(2000, 'x');
    LogEvent(IDS_GROUP_ADDED, longName.c_str(), "p");
    ASSERT_EQ(recorder.events.size(), 1u);
    EXPECT_EQ(recorder.events[0].second.size(), 511u);
}

TEST(Shell, CutNeverSplitsACharacter) {
    Recorder recorder;
    Installed installed(&recorder);
    // "增加组 '" is 11 bytes; each 组 adds 3, so the 511-byte cut falls inside one.
    for (size_t pad = 0; pad < 3; ++pad) {
        std::string name(pad, 'p');
        for (int i = 0; i < 200; ++i) name += "组";
        LogEvent(IDS_GROUP_ADDED, name.c_str(), "p");
    }
    ASSERT_EQ(recorder.events.size(), 3u);
    for (const auto& [kind, text] : recorder.events) {
        EXPECT_GE(text.size(), 509u);
        EXPECT_LE(text.size(), 511u);
        EXPECT_EQ(text.substr(text.size() - 3), "组") << text.size();
    }
}

TEST(Shell, WithoutReceiverCallsDoNothing) {
    LogEvent(IDS_GROUP_ADDED, "a", "b");
    AddToItemCount(3);
    StatusMessage message(57345);
    SUCCEED();
}

TEST(Shell, StatusMessageRestoresReady) {
    Recorder recorder;
    Installed installed(&recorder);
    {
        StatusMessage message(5002);
        EXPECT_EQ(recorder.status, "变量数: %d");
    }
    EXPECT_EQ(recorder.status, "Ready");
}

TEST(Shell, CallsFromManyThreadsAllArrive) {
    Recorder recorder;
    Installed installed(&recorder);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i) AddToItemCount(1);
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(recorder.count, 4000);
}
