#include "ui/controls/numeric_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr int kComparedLength = 31;

bool IsPrintable(QChar c) { return c.unicode() >= 0x20 && c.unicode() != 0x7f; }

// A decimal integer as the C library's atol reads one (leading blanks, a sign, digits), but
// saturated at 64 bits instead of wrapping.
std::int64_t ReadDecimal(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i].unicode() - u'0';
        value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
    }
    return negative ? -value : value;
}

}  // namespace

CEditBase::CEditBase(QWidget* parent) : QLineEdit(parent), beep_(QApplication::beep) {}

bool CEditBase::IsValidChar(QChar) const { return false; }

bool CEditBase::AllValid(const QString& text) const {
    // An empty text tests its terminating zero, which no field takes.
    if (text.isEmpty()) return IsValidChar(QChar(0));
    for (const QChar c : text)
        if (!IsValidChar(c)) return false;
    return true;
}

bool CEditBase::Paste(const QString& text) {
    if (isReadOnly()) return false;
    if (!AllValid(text)) {
        beep_();
        return false;
    }
    insert(text);
    return true;
}

void CEditBase::PasteClipboard() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasText()) {
        beep_();
        return;
    }
    Paste(data->text());
}

void CEditBase::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Paste)) {
        PasteClipboard();
        return;
    }
    const QString text = event->text();
    if (text.isEmpty() || !IsPrintable(text[0])) {
        QLineEdit::keyPressEvent(event);  // control keys pass unchanged
        return;
    }
    if (!AllValid(text)) {
        beep_();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
    untouched_ = false;
}

void CEditBase::contextMenuEvent(QContextMenuEvent* event) {
    // The standard menu, whose Paste goes through the same test as Ctrl+V.
    std::unique_ptr<QMenu> menu(createStandardContextMenu());
    for (QAction* action : menu->actions()) {
        if (action->objectName() != QLatin1String("edit-paste")) continue;
        action->disconnect();
        connect(action, &QAction::triggered, this, [this] { PasteClipboard(); });
    }
    menu->exec(event->globalPos());
}

void CEditBase::mouseReleaseEvent(QMouseEvent* event) {
    // The middle button pastes the X11 selection.
    QClipboard* clipboard = QApplication::clipboard();
    if (event->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
        Paste(clipboard->text(QClipboard::Selection));
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void CEditBase::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasText() || !AllValid(event->mimeData()->text())) {
        beep_();
        event->ignore();
        return;
    }
    QLineEdit::dropEvent(event);
}

CNumericEdit::CNumericEdit(QWidget* parent, std::int32_t mode) : CEditBase(parent), mode_(mode) {}

bool CNumericEdit::IsValidChar(QChar c) const {
    const char16_t u = c.unicode();
    const bool decimal = u >= u'0' && u <= u'9';
    switch (mode_) {
    case SignedDecimal: return decimal || u == u'-';
    case UnsignedDecimal: return decimal;
    case Octal: return u >= u'0' && u <= u'7';
    case Hexadecimal: return decimal || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
    default: return false;
    }
}

void CNumericEdit::SetValue(std::int32_t value) {
    QString formatted;
    switch (mode_) {
    case SignedDecimal: formatted = QString::number(value); break;
    case UnsignedDecimal: formatted = QString::number(static_cast<std::uint32_t>(value)); break;
    case Octal: formatted = QString::number(static_cast<std::uint32_t>(value), 8); break;
    case Hexadecimal: formatted = QString::number(static_cast<std::uint32_t>(value), 16).toUpper(); break;
    default: break;
    }
    if (text().left(kComparedLength) == formatted.left(kComparedLength)) return;
    setText(formatted);
    SetTouched();
}

std::int32_t CNumericEdit::GetValue() const {
    const QByteArray text = this->text().toLatin1();
    unsigned scanned = 0;
    switch (mode_) {
    case SignedDecimal:
    case UnsignedDecimal: return static_cast<std::int32_t>(ReadDecimal(this->text()));
    case Octal: return std::sscanf(text.constData(), "%o", &scanned) == 1 ? static_cast<std::int32_t>(scanned) : 0;
    case Hexadecimal: return std::sscanf(text.constData(), "%X", &scanned) == 1 ? static_cast<std::int32_t>(scanned) : 0;
    default: return 0;
    }
}

std::int64_t CNumericEdit::WideValue() const {
    if (mode_ == SignedDecimal || mode_ == UnsignedDecimal) return ReadDecimal(text());
    return static_cast<std::uint32_t>(GetValue());
}

void CNumericEdit::SetExchangeText(const QString& text) {
    SetValue(static_cast<std::int32_t>(ReadDecimal(text)));
}

QString CNumericEdit::ExchangeText() const {
    if (IsUntouched()) return text();
    const std::int64_t value = WideValue();
    const bool fits = value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::uint32_t>::max();
    return fits ? QString::number(static_cast<std::uint32_t>(value)) : QString::number(value);
}

bool CRealNumEdit::IsValidChar(QChar c) const {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'.' || u == u'E' || u == u'e' || u == u'-';
}
