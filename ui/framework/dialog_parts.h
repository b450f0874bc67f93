// What the program's small dialogs share: the plain message box, the OK and Cancel buttons
// with their Chinese texts, the integer field check with the platform's data-exchange
// messages, and the look of the report lists.
#pragma once

#include <functional>
#include <optional>
#include <string>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QString;
class QTableView;
class QWidget;

// String `id` of the string table.
QString TableText(unsigned id);

// Shows a text in a plain OK message box titled with the application's name.
void PlainMessageBox(QWidget* parent, const std::string& text);
// Dialogs show their messages through one of these; tests capture the texts instead.
using DialogMessageFunction = std::function<void(QWidget* parent, const std::string& text)>;

// A label for `field`, set as its buddy, so that a screen reader announces the field by the
// label's text.
QLabel* FieldLabel(const char* text, QWidget* field, QWidget* parent);

// "确定" and "取消", accepting and rejecting `dialog`.
QDialogButtonBox* OkCancelButtons(QDialog* dialog);

// The edit's text as an integer from `minimum` to `maximum`. Otherwise shows "Please enter an
// integer." (or, for a number out of range, "Please enter an integer between <minimum> and
// <maximum>."), gives the edit the focus with its text selected and returns nothing.
std::optional<int> ReadIntegerField(QLineEdit& edit, int minimum, int maximum, const DialogMessageFunction& message,
                                    QWidget* parent);
// The same for a text read from `edit` in some other way (a numeric field's decimal text),
// over the whole 64-bit range.
std::optional<long long> ReadIntegerText(const QString& text, QLineEdit& edit, long long minimum, long long maximum,
                                         const DialogMessageFunction& message, QWidget* parent);
// A real number from `minimum` to `maximum`; otherwise "Please enter a number." (or "Please
// enter a number between <minimum> and <maximum>.") with the same focus.
std::optional<double> ReadRealText(const QString& text, QLineEdit& edit, double minimum, double maximum,
                                   const DialogMessageFunction& message, QWidget* parent);

// A report list: whole rows selected, no grid, no editing, one line per row, left-aligned
// headers, no row header.
void ConfigureReportView(QTableView& view);
