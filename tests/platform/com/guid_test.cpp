// GUID text forms and HRESULT names.
#include "platform/com/guid.h"
#include "platform/com/hresult.h"
#include "platform/com/memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr GUID kSample = "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}"_guid;

TEST(GuidTest, LiteralAndTextAgree) {
    const GUID expected{0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
    EXPECT_EQ(kSample, expected);
    EXPECT_EQ(GuidToString(kSample), "{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
    EXPECT_EQ("63d5f432-cfe4-11d1-b2c8-0060083ba1fb"_guid, expected) << "without braces, lower case";
}

TEST(GuidTest, ClsidFromStringAcceptsOnlyTheBracedForm) {
    struct TextCase {
        std::u16string text;
        HRESULT hr;
    };
    const std::vector<TextCase> cases = {
        {u"{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}", S_OK},
        {u"{63d5f432-cfe4-11d1-b2c8-0060083ba1fb}", S_OK},
        {u"63D5F432-CFE4-11D1-B2C8-0060083BA1FB", CO_E_CLASSSTRING},
        {u"{63D5F432-CFE4-11D1-B2C8-0060083BA1F}", CO_E_CLASSSTRING},
        {u"{63D5F432-CFE4-11D1-B2C8-0060083BA1FBB}", CO_E_CLASSSTRING},
        {u"{63D5F432+CFE4-11D1-B2C8-0060083BA1FB}", CO_E_CLASSSTRING},
        {u"{63D5F432-CFE4-11D1-B2C8-0060083BA1FG}", CO_E_CLASSSTRING},
        {u"{63D5F432-CFE4-11D1-B2C8-0060083BA1F\u0661}", CO_E_CLASSSTRING},
        {u"", CO_E_CLASSSTRING},
    };
    for (const TextCase& c : cases) {
        CLSID clsid;
        EXPECT_EQ(CLSIDFromString(c.text.c_str(), &clsid), c.hr) << std::string(c.text.begin(), c.text.end());
        if (SUCCEEDED(c.hr)) {
            EXPECT_EQ(clsid, kSample);
        }
    }
    CLSID clsid;
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), E_INVALIDARG);
}

TEST(GuidTest, StringFromGuid2NeedsRoomForTheTerminator) {
    OLECHAR buffer[39];
    EXPECT_EQ(StringFromGUID2(kSample, buffer, 38), 0);
    ASSERT_EQ(StringFromGUID2(kSample, buffer, 39), 39);
    EXPECT_EQ(std::u16string(buffer), u"{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}");
    LPOLESTR text = nullptr;
    ASSERT_EQ(StringFromCLSID(kSample, &text), S_OK);
    CLSID back;
    EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_EQ(back, kSample);
    CoTaskMemFree(text);
}

TEST(HResultNameTest, NamesComeFromTheOneTable) {
    EXPECT_STREQ(HResultName(E_INVALIDARG), "E_INVALIDARG");
    EXPECT_STREQ(HResultName(OPC_E_BADTYPE), "OPC_E_BADTYPE");
    EXPECT_STREQ(HResultName(CO_S_NOTALLINTERFACES), "CO_S_NOTALLINTERFACES");
    EXPECT_STREQ(HResultName(MakeHResult(0x80041234)), "");
}

}  // namespace
