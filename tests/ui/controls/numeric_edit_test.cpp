// The numeric entry fields: which typed characters each takes, the paste rule, the untouched
// flag and the decimal exchange in every mode.
#include "ui/controls/numeric_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

// Types `text` one character at a time, as key presses.
void Type(QLineEdit& edit, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&edit, &press);
    }
}

void PressKey(QLineEdit& edit, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(&edit, &press);
}

template <class Edit>
std::unique_ptr<Edit> Counting(int& beeps) {
    auto edit = std::make_unique<Edit>();
    edit->SetBeep([&beeps] { ++beeps; });
    return edit;
}

TEST(NumericEdit, EachKindTakesOnlyTheCharactersOfItsNotation) {
    struct Case {
        int mode;  // -1: CRealNumEdit, -2: CEditBase
        const char* typed;
        const char* shown;
        int beeps;
    };
    const Case cases[] = {
        {CNumericEdit::SignedDecimal, "-12a3.", "-123", 2},
        {CNumericEdit::UnsignedDecimal, "-1.5 0", "150", 3},
        {CNumericEdit::Octal, "012789", "0127", 2},
        {CNumericEdit::Hexadecimal, "09afAFgG-x", "09afAF", 4},
        {7, "123", "", 3},  // a mode of no notation takes nothing
        {-1, "1.5e-3", "1.5e-3", 0},
        {-1, "1-.-e", "1-.-e", 0},  // positions are not checked here
        {-1, "+1,5E", "15E", 2},
        {-2, "1a", "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.mode) + " " + c.typed);
        int beeps = 0;
        std::unique_ptr<CEditBase> edit;
        if (c.mode == -1)
            edit = Counting<CRealNumEdit>(beeps);
        else if (c.mode == -2)
            edit = Counting<CEditBase>(beeps);
        else {
            edit = std::make_unique<CNumericEdit>(nullptr, c.mode);
            edit->SetBeep([&beeps] { ++beeps; });
        }
        Type(*edit, QString::fromLatin1(c.typed));
        EXPECT_EQ(edit->text(), QString::fromLatin1(c.shown));
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_EQ(edit->IsUntouched(), std::string(c.shown).empty());
    }
}

TEST(NumericEdit, ControlKeysPassAndAPasteGoesInWholeOrNotAtAll) {
    int beeps = 0;
    auto edit = Counting<CNumericEdit>(beeps);
    Type(*edit, "123");
    PressKey(*edit, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    EXPECT_EQ(edit->text(), "12");
    EXPECT_EQ(beeps, 0);

    QApplication::clipboard()->setText(QStringLiteral("12 34"));
    PressKey(*edit, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    EXPECT_EQ(edit->text(), "12") << "one refused character refuses the whole text";
    EXPECT_EQ(beeps, 1);
    QApplication::clipboard()->setText(QStringLiteral("letters"));
    EXPECT_FALSE(edit->Paste(QApplication::clipboard()->text()));
    EXPECT_FALSE(edit->Paste(QString())) << "an empty text tests its terminating zero";
    EXPECT_EQ(beeps, 3);
    QApplication::clipboard()->clear();
    PressKey(*edit, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    EXPECT_EQ(beeps, 4) << "no text on the clipboard";

    QApplication::clipboard()->setText(QStringLiteral("3400"));
    PressKey(*edit, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    EXPECT_EQ(edit->text(), "123400");
    EXPECT_EQ(beeps, 4);
}

TEST(NumericEdit, TheDialogsExchangeDecimalTextInEveryMode) {
    CNumericEdit hex(nullptr, CNumericEdit::Hexadecimal);
    hex.SetExchangeText(QStringLiteral("255"));
    EXPECT_EQ(hex.text(), "FF");
    EXPECT_EQ(hex.ExchangeText(), "255");
    EXPECT_EQ(hex.GetValue(), 255);

    CNumericEdit octal(nullptr, CNumericEdit::Octal);
    octal.SetExchangeText(QStringLiteral("8"));
    EXPECT_EQ(octal.text(), "10");
    EXPECT_EQ(octal.ExchangeText(), "8");

    CNumericEdit signedEdit(nullptr, CNumericEdit::SignedDecimal);
    signedEdit.SetExchangeText(QStringLiteral("-1"));
    EXPECT_EQ(signedEdit.text(), "-1");
    EXPECT_EQ(signedEdit.ExchangeText(), "4294967295") << "read back as unsigned decimal";

    CNumericEdit unsignedEdit;
    unsignedEdit.SetExchangeText(QStringLiteral("4294967295"));
    EXPECT_EQ(unsignedEdit.text(), "4294967295");
    EXPECT_EQ(unsignedEdit.GetValue(), -1);
}

TEST(NumericEdit, AnUntouchedFieldGivesItsTextBackAsItIs) {
    CNumericEdit edit;
    edit.setText(QStringLiteral("007"));
    EXPECT_TRUE(edit.IsUntouched());
    EXPECT_EQ(edit.ExchangeText(), "007");

    CNumericEdit typed;
    Type(typed, "007");
    EXPECT_FALSE(typed.IsUntouched());
    EXPECT_EQ(typed.ExchangeText(), "7");
    // A number beyond 32 bits is not wrapped into a small one that a range check would pass.
    Type(typed, "0000000000");
    EXPECT_EQ(typed.ExchangeText(), "70000000000");
    EXPECT_EQ(typed.GetValue(), static_cast<std::int32_t>(70000000000LL));
}

TEST(NumericEdit, SettingTheSameValueLeavesTheTextAlone) {
    CNumericEdit edit;
    edit.SetValue(42);
    edit.setCursorPosition(1);
    edit.SetValue(42);
    EXPECT_EQ(edit.cursorPosition(), 1) << "the text was not replaced";
    edit.SetValue(43);
    EXPECT_EQ(edit.text(), "43");
}

}  // namespace
