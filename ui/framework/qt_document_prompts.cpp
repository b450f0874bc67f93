#include "ui/framework/qt_document_prompts.h"

#include "docview/document.h"
#include "platform/strings/language.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

QtDocumentPrompts::QtDocumentPrompts(QWidget* parent, QString filter) : parent_(parent), filter_(std::move(filter)) {}

DocumentPrompts::Answer QtDocumentPrompts::AskSaveChanges(const std::string& title) {
    const QString text = QString::fromUtf8(Tr("是否保存对 %1 的更改?", "Save the changes to %1?")).arg(QString::fromStdString(title));
    const auto button =
        QMessageBox::warning(parent_, QApplication::applicationName(), text,
                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (button == QMessageBox::Yes) return Answer::Yes;
    if (button == QMessageBox::No) return Answer::No;
    return Answer::Cancel;
}

std::string QtDocumentPrompts::AskSavePath(const std::string& suggested) {
    QFileDialog dialog(parent_, QString(), QString::fromStdString(suggested), filter_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString::fromLatin1(Document::kDefaultExtension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst().toStdString();
}

void QtDocumentPrompts::ShowError(const std::string& text) {
    QMessageBox::critical(parent_, QApplication::applicationName(), QString::fromStdString(text));
}
