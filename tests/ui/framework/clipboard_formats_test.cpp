#include "ui/framework/clipboard_formats.h"

#include "platform/com/clipboard_format.h"

#include <gtest/gtest.h>


TEST(ClipboardFormats, TheThreeNamesAreRegisteredOnceAndKeepTheirNumbers) {
    const ProjectClipboardFormats& formats = RegisterProjectClipboardFormats();
    EXPECT_EQ(&RegisterProjectClipboardFormats(), &formats);
    const std::pair<UINT, const char*> named[] = {
        {formats.server, "VCOpcClientServer"}, {formats.group, "VCOpcClientGroup"}, {formats.item, "VCOpcClientItem"}};
    for (const auto& [number, name] : named) {
        EXPECT_GE(number, 0xC000u) << name;
        EXPECT_EQ(GetClipboardFormatName(number), name);
        EXPECT_EQ(RegisterClipboardFormat(name), number);  // the platform gives the same number again
    }
    EXPECT_NE(formats.server, formats.group);
    EXPECT_NE(formats.group, formats.item);
    EXPECT_NE(formats.server, formats.item);
}
