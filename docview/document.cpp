#include "docview/document.h"

#include "docview/view.h"
#include "platform/strings/command_ids.h"
#include "platform/strings/language.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>

namespace {

// A project file is small; refuse to read anything absurd into memory.
constexpr qint64 kMaxFileSize = qint64{256} * 1024 * 1024;

QString ToQString(const std::string& s) { return QString::fromStdString(s); }

std::string FileNameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

namespace {
std::string OpenFailedText(const std::string& path) { return Tr("打开文档失败: ", "Failed to open the document: ") + path; }
}  // namespace

const char* Document::UntitledTitle() { return Tr(kUntitled, "Untitled"); }

Document::Document() : title_(UntitledTitle()) {
    MapCommand(ID_FILE_SAVE, [this] { DoFileSave(); });
    MapCommand(ID_FILE_SAVE_AS, [this] { DoSave({}); });
}

Document::~Document() {
    for (View* view : views_) view->document_ = nullptr;
}

void Document::AddView(View* view) {
    if (view->document_ == this) return;
    if (view->document_) view->document_->RemoveView(view);
    views_.push_back(view);
    view->document_ = this;
}

void Document::RemoveView(View* view) {
    std::erase(views_, view);
    if (view->document_ == this) view->document_ = nullptr;
}

void Document::UpdateAllViews(View* sender, int hint, void* object) {
    // A view may leave the document while it is updated; walk a copy.
    const std::vector<View*> views = views_;
    for (View* view : views) {
        if (view != sender && std::ranges::find(views_, view) != views_.end()) view->OnUpdate(hint, object);
    }
}

void Document::SetTitle(const std::string& title) {
    title_ = title;
    if (titleObserver_) titleObserver_();
}

void Document::SetPathName(const std::string& path) {
    path_ = path;
    SetTitle(FileNameOf(path));
}

bool Document::OnNewDocument() {
    DeleteContents();
    path_.clear();
    SetModifiedFlag(false);
    SetTitle(UntitledTitle());
    return true;
}

bool Document::OnOpenDocument(const std::string& path) {
    QFile file(ToQString(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize) {
        ShowError(OpenFailedText(path));
        return false;
    }
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (data.size() > kMaxFileSize || file.error() != QFileDevice::NoError) {
        ShowError(OpenFailedText(path));
        return false;
    }
    DeleteContents();
    SetModifiedFlag(true);  // dirty while half loaded
    const auto* first = reinterpret_cast<const std::uint8_t*>(data.constData());
    if (!Load(std::span(first, static_cast<std::size_t>(data.size())))) {
        ShowError(Tr("意外的文件格式: ", "Unexpected file format: ") + path);
        DeleteContents();
        SetModifiedFlag(false);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool Document::OnSaveDocument(const std::string& path) {
    const std::vector<std::uint8_t> bytes = Store();
    QSaveFile file(ToQString(path));
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
                             static_cast<qint64>(bytes.size()) &&
                         file.commit();
    if (!written) {
        ShowError(Tr("保存文档失败: ", "Failed to save the document: ") + path);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void Document::DeleteContents() { contents_.clear(); }

bool Document::Load(std::span<const std::uint8_t> bytes) {
    contents_.assign(bytes.begin(), bytes.end());
    return true;
}

std::vector<std::uint8_t> Document::Store() const { return contents_; }

bool Document::DoFileSave() { return DoSave(path_); }

bool Document::DoSave(const std::string& path, bool replace) {
    std::string target = path;
    if (target.empty()) {
        if (!prompts_) return false;
        std::string suggested = path_;
        if (suggested.empty()) {
            // The title may carry the modified mark " *".
            suggested = title_.substr(0, title_.find_last_not_of(" *") + 1);
            suggested += std::string(".") + kDefaultExtension;
        }
        target = prompts_->AskSavePath(suggested);
        if (target.empty()) return false;
    }
    if (!OnSaveDocument(target)) return false;
    if (replace) SetPathName(target);
    return true;
}

bool Document::SaveModified() {
    if (!IsModified()) return true;
    const auto answer = prompts_ ? prompts_->AskSaveChanges(title_) : DocumentPrompts::Answer::No;
    switch (answer) {
    case DocumentPrompts::Answer::Cancel: return false;
    case DocumentPrompts::Answer::Yes: return DoFileSave();
    case DocumentPrompts::Answer::No: return true;
    }
    return false;
}

void Document::ShowError(const std::string& text) const {
    if (prompts_) prompts_->ShowError(text);
}
