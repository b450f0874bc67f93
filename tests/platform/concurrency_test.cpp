// Platform services used from several threads at once.
#include "platform/config/opc_config.h"
#include "platform/locale/locale_date_time.h"

#include "tests/platform/temp_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

TEST(Concurrency, WritersOfDifferentConfigKeysNeverLoseEachOther) {
    TempFolder folder;
    SetProgramFolderForTesting(folder.path());
    constexpr int kRounds = 100;
    std::thread paths([] {
        for (int i = 1; i <= kRounds; ++i) WriteProjectPath("/p" + std::to_string(i));
    });
    std::thread addresses([] {
        for (int i = 1; i <= kRounds; ++i) StoreStartAddress(i);
    });
    paths.join();
    addresses.join();
    EXPECT_EQ(ReadProjectPath(), "/p" + std::to_string(kRounds));
    EXPECT_EQ(ReadStartAddress(), unsigned(kRounds));
    SetProgramFolderForTesting("");
}

TEST(Concurrency, FormattingWhileTheSettingsChangeGivesOneOfTheTwoResults) {
    LocaleSettings european;
    european.dateOrder = 1;
    european.dateSeparator = ".";
    european.shortDate = "dd.MM.yyyy";
    european.clock = 1;
    european.hourLeadingZero = 1;
    LocaleDateTime formatter{LocaleSettings()};
    SYSTEMTIME t;
    t.wYear = 2026;
    t.wMonth = 12;
    t.wDay = 5;
    t.wHour = 14;
    t.wMinute = 5;
    t.wSecond = 9;

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r)
        readers.emplace_back([&] {
            while (!stop) {
                const std::string date = formatter.Date(t);
                const std::string time = formatter.Time(t, true);
                if (date != "12/5/26" && date != "05.12.2026") ++wrong;
                if (time != " 2:05:09 pm" && time != "14:05:09") ++wrong;
            }
        });
    for (int i = 0; i < 2000; ++i) formatter.Apply(i % 2 ? european : LocaleSettings());
    stop = true;
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(wrong, 0);
}
