#include "ui/framework/clipboard_formats.h"

#include "platform/com/clipboard_format.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

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

TEST(ClipboardFormats, APayloadGoesOnTheClipboardUnderItsFormatWithItsText) {
    PutOnClipboard(kItemClipFormat, {1, 0, 0, 0, 0xFF}, "A,B\n");
    EXPECT_TRUE(ClipboardHas(kItemClipFormat));
    EXPECT_FALSE(ClipboardHas(kGroupClipFormat));
    EXPECT_EQ(ClipboardBytes(kItemClipFormat), QByteArray("\x01\x00\x00\x00\xFF", 5));
    EXPECT_TRUE(ClipboardBytes(kServerClipFormat).isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "A,B\n");

    // Without text the clipboard holds the format alone, replacing what was there.
    PutOnClipboard(kServerClipFormat, {0, 0, 0, 0});
    EXPECT_TRUE(ClipboardHas(kServerClipFormat));
    EXPECT_FALSE(ClipboardHas(kItemClipFormat));
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
}
