// The document of the single-document frame: title, path, modified flag, its views and the
// standard file commands (Save, Save As). The project document derives from it and plugs
// its file format into Load and Store; until then the contents are kept as the bytes read.
#pragma once

#include "docview/command_target.h"
#include "docview/document_prompts.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

class View;

class Document : public CommandTarget {
public:
    Document();
    ~Document() override;

    // Views, in registration order.
    void AddView(View* view);
    void RemoveView(View* view);
    const std::vector<View*>& Views() const { return views_; }
    // Calls OnUpdate(hint, object) on every view but `sender` (the view that made the change).
    void UpdateAllViews(View* sender, int hint, void* object);

    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);
    const std::string& PathName() const { return path_; }
    // Sets the path and makes its file name the title.
    void SetPathName(const std::string& path);
    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified) { modified_ = modified; }
    // Every change of the project goes through here; the project document also marks the title.
    virtual void MarkModified(bool modified) { SetModifiedFlag(modified); }
    // Called whenever the title changes (the frame shows it).
    void SetTitleObserver(std::function<void()> observer) { titleObserver_ = std::move(observer); }

    void SetPrompts(DocumentPrompts* prompts) { prompts_ = prompts; }
    DocumentPrompts* Prompts() const { return prompts_; }

    // State that the command rules read; the project document overrides them. Server and
    // group are opaque here: the rules that need them know their types.
    virtual bool IsBusy() const { return false; }
    virtual int ServerCount() const { return 0; }
    virtual void* CurrentServer() const { return nullptr; }
    virtual void* CurrentGroup() const { return nullptr; }

    // Life cycle, as the framework calls it.
    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const std::string& path);
    virtual bool OnSaveDocument(const std::string& path);
    virtual void DeleteContents();

    // File ▸ Save: to the current file, or Save As when there is none.
    bool DoFileSave();
    // Saves to `path`, or asks for a path when it is empty; the document takes the new path
    // when `replace` is set.
    bool DoSave(const std::string& path, bool replace = true);
    // Asks whether to save a modified document; false when the operator cancels.
    bool SaveModified();

    // Extension (without dot) that Save As adds.
    static constexpr const char* kDefaultExtension = "ovopc";
    // Title of a document that was never saved.
    static constexpr const char* kUntitled = "无标题";
    // kUntitled, or "Untitled" in English.
    static const char* UntitledTitle();

protected:
    // The file contents: Load gets the bytes of the file, Store produces them.
    virtual bool Load(std::span<const std::uint8_t> bytes);
    virtual std::vector<std::uint8_t> Store() const;

private:
    void ShowError(const std::string& text) const;

    std::vector<View*> views_;
    std::string title_;
    std::string path_;
    bool modified_ = false;
    std::function<void()> titleObserver_;
    DocumentPrompts* prompts_ = nullptr;
    std::vector<std::uint8_t> contents_;
};
