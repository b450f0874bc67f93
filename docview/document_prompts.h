// The questions a document asks the operator while it is saved or closed. The program uses
// the dialogs of QtDocumentPrompts; tests answer with a fake.
#pragma once

#include <string>

class DocumentPrompts {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~DocumentPrompts() = default;
    // "Save the changes to <title>?"
    virtual Answer AskSaveChanges(const std::string& title) = 0;
    // The file to save to, starting from `suggested`; empty when the operator cancels.
    virtual std::string AskSavePath(const std::string& suggested) = 0;
    virtual void ShowError(const std::string& text) = 0;
};
