#include "ui/framework/dialog_parts.h"
#include "platform/strings/language.h"
#include "platform/strings/string_table.h"

#include <QApplication>
#include <QLabel>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTableView>

QString TableText(unsigned id) {
    const std::string_view text = LoadString(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void PlainMessageBox(QWidget* parent, const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), QString::fromStdString(text), QMessageBox::Ok,
                    parent);
    box.exec();
}

QLabel* FieldLabel(const char* text, QWidget* field, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setBuddy(field);
    return label;
}

QDialogButtonBox* OkCancelButtons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8(Tr("确定", "OK")));
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8(Tr("取消", "Cancel")));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

namespace {

// The platform's data-exchange failure: the message, then the field with its text selected.
void RefuseField(QLineEdit& edit, const std::string& text, const DialogMessageFunction& message, QWidget* parent) {
    message(parent, text);
    edit.setFocus();
    edit.selectAll();
}

}  // namespace

std::optional<int> ReadIntegerField(QLineEdit& edit, int minimum, int maximum, const DialogMessageFunction& message,
                                    QWidget* parent) {
    const auto value = ReadIntegerText(edit.text(), edit, minimum, maximum, message, parent);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<long long> ReadIntegerText(const QString& text, QLineEdit& edit, long long minimum, long long maximum,
                                         const DialogMessageFunction& message, QWidget* parent) {
    bool isNumber = false;
    const long long value = text.trimmed().toLongLong(&isNumber);
    if (isNumber && value >= minimum && value <= maximum) return value;
    RefuseField(edit,
                isNumber ? "Please enter an integer between " + std::to_string(minimum) + " and " +
                               std::to_string(maximum) + "."
                         : "Please enter an integer.",
                message, parent);
    return std::nullopt;
}

std::optional<double> ReadRealText(const QString& text, QLineEdit& edit, double minimum, double maximum,
                                   const DialogMessageFunction& message, QWidget* parent) {
    bool isNumber = false;
    const double value = text.trimmed().toDouble(&isNumber);
    if (isNumber && value >= minimum && value <= maximum) return value;
    const auto shown = [](double number) { return QString::number(number, 'g', 6).toStdString(); };
    RefuseField(edit,
                isNumber ? "Please enter a number between " + shown(minimum) + " and " + shown(maximum) + "."
                         : "Please enter a number.",
                message, parent);
    return std::nullopt;
}

void ConfigureReportView(QTableView& view) {
    view.setShowGrid(false);
    view.setWordWrap(false);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view.setIconSize(QSize(16, 16));
    view.verticalHeader()->hide();
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 4);
    view.horizontalHeader()->setHighlightSections(false);
    view.horizontalHeader()->setStretchLastSection(false);
    view.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}
