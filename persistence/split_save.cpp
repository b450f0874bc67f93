#include "persistence/split_save.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "persistence/archive.h"
#include "persistence/document.h"
#include "persistence/project_codec.h"
#include "platform/files/atomic_file.h"

std::vector<SplitSlice> SplitSlices(std::size_t total, int fileCount) {
    std::vector<SplitSlice> slices;
    if (fileCount < 1) return slices;
    const auto files = static_cast<std::size_t>(fileCount);
    const std::size_t size = total / files + total % files;
    for (std::size_t first = 0, k = 1; first < total && k <= files; first += size, ++k)
        slices.push_back({first, std::min(size, total - first)});
    return slices;
}

void CVDocument::SplitSave(const std::string& basePath, int fileCount) {
    CVServer* server = FirstServer();
    if (!server || !server->FirstGroup() || fileCount < 1) return;

    // Every item of the project: servers, groups and items each from the head of the list.
    std::vector<const CVItem*> items;
    for (CVServer* s = server; s; s = s->next)
        for (CVGroup* group = s->FirstGroup(); group; group = group->next)
            for (const CVItem* item = group->FirstItem(); item; item = item->next) items.push_back(item);

    const ServerRecord serverHeader = HeaderOf(*server);
    const GroupRecord groupHeader = HeaderOf(*server->FirstGroup());
    ScopedWaitCursor cursor(WaitUi(), DocumentWaitUi::Cursor::Wait);
    int ordinal = 1;
    for (const SplitSlice& slice : SplitSlices(items.size(), fileCount)) {
        ArchiveWriter out;
        out.U32(1);
        WriteServerHeader(out, serverHeader, 1);
        // The count is the number of items this file really holds, so that every file,
        // the shorter last one included, opens again.
        WriteGroupHeader(out, groupHeader, static_cast<std::uint32_t>(slice.count));
        for (std::size_t i = slice.first; i < slice.first + slice.count; ++i) WriteItem(out, RecordOf(*items[i], registry_));
        const std::string path = basePath + "-" + std::to_string(ordinal++) + ".ovopc";
        if (!WriteFileAtomically(path, out.Bytes())) ShowMessage(ProjectSaveErrorText(path));
    }
}
