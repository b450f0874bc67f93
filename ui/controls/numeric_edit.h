// Entry fields that take only the characters of a number. A refused character, typed or in a
// pasted text, beeps and changes nothing (a paste goes in whole or not at all); control keys
// pass. CNumericEdit shows an integer in its mode's notation and exchanges its text with the
// dialogs in decimal; CRealNumEdit takes the characters of a floating-point number. Where a
// character stands (a minus sign in the middle, two points) is not checked here: the dialog's
// own range check reads the whole text.
#pragma once

#include <QLineEdit>

#include <cstdint>
#include <functional>

class CEditBase : public QLineEdit {
public:
    explicit CEditBase(QWidget* parent = nullptr);

    // The character test; the base refuses everything.
    virtual bool IsValidChar(QChar c) const;
    // True until the operator types an accepted character or the program sets the value.
    bool IsUntouched() const { return untouched_; }

    // What a paste of `text` does: false (and a beep) when a character is refused, or for an
    // empty text; then nothing is inserted.
    bool Paste(const QString& text);
    // What sounds for a refused character: the system's beep; tests count them instead.
    void SetBeep(std::function<void()> beep) { beep_ = std::move(beep); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dropEvent(QDropEvent* event) override;

    void SetTouched() { untouched_ = false; }

private:
    bool AllValid(const QString& text) const;
    void PasteClipboard();

    bool untouched_ = true;
    std::function<void()> beep_;
};

class CNumericEdit : public CEditBase {
public:
    enum Mode : std::int32_t { SignedDecimal = 0, UnsignedDecimal = 1, Octal = 2, Hexadecimal = 3 };

    explicit CNumericEdit(QWidget* parent = nullptr, std::int32_t mode = UnsignedDecimal);

    bool IsValidChar(QChar c) const override;
    std::int32_t Mode() const { return mode_; }
    void SetMode(std::int32_t mode) { mode_ = mode; }

    // Shows `value` in the mode's notation ("%d", "%u", "%o", "%X"); the text changes only
    // when it differs over its first 31 characters.
    void SetValue(std::int32_t value);
    // The text read in the mode's notation; 0 when nothing can be read.
    std::int32_t GetValue() const;

    // The dialogs' side, always decimal. Setting reads `text` as a decimal integer and shows
    // it in the mode's notation (255 shows FF in hexadecimal). Reading gives the text unchanged
    // while the field is untouched, else the value as unsigned decimal; a typed number beyond
    // 32 bits comes back as it is, so that the dialog's range check refuses it instead of
    // taking a wrapped value.
    void SetExchangeText(const QString& text);
    QString ExchangeText() const;

private:
    // The whole number the text holds in the mode's notation, saturated at 64 bits.
    std::int64_t WideValue() const;

    std::int32_t mode_;
};

class CRealNumEdit : public CEditBase {
public:
    explicit CRealNumEdit(QWidget* parent = nullptr) : CEditBase(parent) {}

    bool IsValidChar(QChar c) const override;
};
