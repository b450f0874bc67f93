// The document's questions as the program asks them: message boxes titled with the
// application's name and the save-file dialog.
#pragma once

#include "docview/document_prompts.h"

#include <QString>

class QWidget;

class QtDocumentPrompts : public DocumentPrompts {
public:
    // `parent` owns the dialogs; `filter` is the Qt filter of the save dialog.
    QtDocumentPrompts(QWidget* parent, QString filter);

    Answer AskSaveChanges(const std::string& title) override;
    std::string AskSavePath(const std::string& suggested) override;
    void ShowError(const std::string& text) override;

private:
    QWidget* parent_;
    QString filter_;
};
