// Clipboard format numbers by name.
#include "platform/com/clipboard_format.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ClipboardFormatTest, SameNameSameNumberWithoutRegardToCase) {
    const UINT server = RegisterClipboardFormat("VCOpcClientServer");
    const UINT group = RegisterClipboardFormat("VCOpcClientGroup");
    EXPECT_GE(server, 0xC000u);
    EXPECT_GE(group, 0xC000u);
    EXPECT_NE(server, group);
    EXPECT_EQ(RegisterClipboardFormat("VCOpcClientServer"), server);
    EXPECT_EQ(RegisterClipboardFormat("vcopcclientserver"), server);
    EXPECT_EQ(GetClipboardFormatName(server), "VCOpcClientServer");
    EXPECT_EQ(RegisterClipboardFormat(""), 0u);
    EXPECT_EQ(GetClipboardFormatName(0xBFFF), "");
}

TEST(ClipboardFormatThreadedTest, ConcurrentRegistrationsAgree) {
    const std::vector<std::string> names = {"OPCSTMFORMATDATA", "OPCSTMFORMATDATATIME", "OPCSTMFORMATWRITECOMPLETE",
                                            "ThreadedFormat"};
    std::vector<std::vector<UINT>> seen(4);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < seen.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round)
                for (const std::string& name : names) seen[t].push_back(RegisterClipboardFormat(name));
        });
    for (std::thread& thread : threads) thread.join();
    std::set<UINT> distinct;
    for (const auto& numbers : seen) {
        EXPECT_EQ(numbers.size(), 200 * names.size());
        distinct.insert(numbers.begin(), numbers.end());
    }
    EXPECT_EQ(distinct.size(), names.size()) << "one number per name, whichever thread came first";
}

}  // namespace
