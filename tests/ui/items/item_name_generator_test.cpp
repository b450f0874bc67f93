// The duplication's name generator and its count dialog.
#include "ui/items/duplicate_item_count_dlg.h"
#include "ui/items/item_name_generator.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ItemNameGenerator, CountsTheNumberAtTheEndOfTheId) {
    struct Case {
        const char* id;
        bool bit;
        const char* next;
    };
    const Case cases[] = {
        {"Tag", false, "Tag0"},         {"Tag9", false, "Tag10"},       {"Tag007", false, "Tag008"},
        {"Tag099", false, "Tag100"},    {"Tag99", false, "Tag100"},     {"Tag0", false, "Tag1"},
        {"123", false, "124"},          {"A1.5", false, "A1.6"},        {"D100.5", true, "D100.06"},
        {"D100.14", true, "D100.15"},   {"D100.15", true, "D101.00"},   {"D0099.15", true, "D100.00"},
        {"Tag5", true, "Tag6"},         {".15", true, "1.00"},          {"", false, ""},
        {"Line 1.Pump_3", false, "Line 1.Pump_4"},
        {"Tag99999999999999999999999", false, "Tag100000000000000000000000"},  // no overflow
        {"泵站.流量7", false, "泵站.流量8"},
    };
    for (const Case& c : cases) {
        const auto next = NextItemId(c.id, c.bit);
        ASSERT_TRUE(next) << c.id;
        EXPECT_EQ(*next, c.next) << c.id << (c.bit ? " (bit)" : "");
    }
}

TEST(ItemNameGenerator, ANameBeyondTheFieldsLimitIsRefusedNotCut) {
    const std::string longest = std::string(kMaxItemIdLength - 1, 'A') + "9";
    EXPECT_FALSE(NextItemId(longest, false)) << "the carry adds a character";
    EXPECT_FALSE(NextItemId(std::string(kMaxItemIdLength, 'A'), false)) << "a 0 is appended";
    const auto fits = NextItemId(std::string(kMaxItemIdLength - 1, 'A') + "8", false);
    ASSERT_TRUE(fits);
    EXPECT_EQ(fits->back(), '9');
    EXPECT_EQ(ItemIdLength("泵站"), 2u);
}

TEST(DuplicateItemCountDlg, TakesOneTo32767Copies) {
    const std::pair<const char*, bool> cases[] = {{"0", false}, {"1", true}, {"32767", true}, {"32768", false},
                                                  {"three", false}};
    for (const auto& [text, accepted] : cases) {
        std::vector<std::string> messages;
        CVDuplicateItemCountDlg dialog(nullptr, [&](QWidget*, const std::string& m) { messages.push_back(m); });
        EXPECT_EQ(dialog.Count(), 1);
        dialog.ValueEdit()->setText(QString::fromLatin1(text));
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, accepted) << text;
        EXPECT_EQ(messages.empty(), accepted) << text;
    }
}
