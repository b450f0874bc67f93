// The document side of the CSV import and export of a group's items.
#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "persistence/csv_format.h"
#include "persistence/document.h"
#include "platform/files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

// A CSV file of a group is a few megabytes at most; refuse to read anything absurd.
constexpr off_t kMaxCsvBytes = off_t{256} * 1024 * 1024;

bool ReadWholeFile(const std::string& path, std::string& contents, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok) reason = std::strerror(errno);
    if (ok && (!S_ISREG(info.st_mode) || info.st_size > kMaxCsvBytes)) {
        reason = S_ISREG(info.st_mode) ? "file too large" : "not a regular file";
        ok = false;
    }
    if (ok) {
        contents.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (ok && done < contents.size()) {
            const ssize_t got = ::read(fd, contents.data() + done, contents.size() - done);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) reason = std::strerror(errno);
            if (got <= 0) break;  // a file that shrank while read ends early
            done += static_cast<std::size_t>(got);
        }
        contents.resize(done);
        ok = reason.empty();
    }
    ::close(fd);
    return ok;
}

CsvItem CsvItemOf(const CVItem& item) {
    CsvItem row;
    row.itemId = item.itemId;
    row.accessPath = item.accessPath;
    row.dataType = item.ShownType();
    row.active = item.active != FALSE;
    return row;
}

}  // namespace

std::string CVDocument::ItemsAsCsvText(const std::vector<CVItem*>& items) {
    std::vector<CsvItem> rows;
    rows.reserve(items.size());
    for (const CVItem* item : items) rows.push_back(CsvItemOf(*item));
    // The file's CR LF line ends become the clipboard's LF.
    const std::string file = FormatCsvItems(rows);
    std::string text;
    text.reserve(file.size());
    for (std::size_t i = 0; i < file.size(); ++i)
        if (!(file[i] == '\r' && i + 1 < file.size() && file[i + 1] == '\n')) text += file[i];
    return text;
}

bool CVDocument::ExportCsv(const CVGroup& group, const std::string& path) {
    ScopedWaitCursor cursor(WaitUi(), DocumentWaitUi::Cursor::Wait);
    std::vector<CsvItem> rows;
    rows.reserve(group.ItemCount());
    for (const CVItem* item = group.FirstItem(); item; item = item->next) rows.push_back(CsvItemOf(*item));
    const std::string text = FormatCsvItems(rows);
    std::string reason;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (!WriteFileAtomically(path, std::span(bytes, text.size()), &reason)) {
        ShowMessage(FileWriteErrorText(path, reason));
        return false;
    }
    return true;
}

int CVDocument::ImportCsv(CVGroup& group, const std::string& path) {
    CsvImport import;
    {
        ScopedWaitCursor cursor(WaitUi(), DocumentWaitUi::Cursor::Wait);
        std::string contents;
        std::string reason;
        if (!ReadWholeFile(path, contents, reason)) {
            ShowMessage(FileOpenErrorText(path, reason));
            return 0;
        }
        import = ParseCsvItems(contents);
    }
    if (!import.error.empty()) {
        ShowMessage(import.error);
        return 0;
    }
    if (import.items.empty()) return 0;

    // Items exist only once the whole file has been read: a refused file never touches the
    // address registry or the group.
    std::vector<CVItem*> items;
    items.reserve(import.items.size() + 1);
    for (CsvItem& row : import.items) {
        auto* item = new CVItem(&group);
        item->itemId = std::move(row.itemId);
        item->accessPath = std::move(row.accessPath);
        item->SetDataType(row.dataType);
        item->active = row.active ? TRUE : FALSE;
        registry_.Register(item);
        items.push_back(item);
    }
    const int count = static_cast<int>(items.size());
    group.AddItems(items.data(), count, false);
    items.push_back(nullptr);  // the views' array ends with a null entry
    UpdateAllViews(nullptr, HINT_ITEMS_ADDED, items.data());
    MarkModified(true);
    return count;
}
