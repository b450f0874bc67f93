// The document side of Copy, Cut and Paste: the project's objects go to the clipboard as the
// project file's records, and come back as new objects, as the New commands make them.
#include "docview/update_hints.h"
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/server.h"
#include "persistence/document.h"
#include "persistence/project_codec.h"
#include "platform/strings/language.h"

#include <exception>
#include <memory>

namespace {

std::string RefusedText(ProjectLoadError error) {
    if (error == ProjectLoadError::WrongSchema)
        return Tr("剪贴板中的数据版本不对，没有粘贴任何内容。", "The clipboard data has a wrong version; nothing was pasted.");
    return Tr("剪贴板中的数据不完整或已损坏，没有粘贴任何内容。",
              "The clipboard data is incomplete or damaged; nothing was pasted.");
}

// The items of `records` for `group`, each at a new address; all or, when one cannot be
// made, none.
std::vector<std::unique_ptr<CVItem>> BuildNewItems(const std::vector<ItemRecord>& records, CVGroup* group,
                                                   CItemAddressRegistry& registry) {
    std::vector<std::unique_ptr<CVItem>> items;
    items.reserve(records.size());
    for (const ItemRecord& record : records) items.push_back(BuildNewItem(record, group, registry));
    return items;
}

std::vector<CVItem*> Release(std::vector<std::unique_ptr<CVItem>>& owned) {
    std::vector<CVItem*> items;
    items.reserve(owned.size());
    for (auto& item : owned) items.push_back(item.release());
    return items;
}

}  // namespace

std::vector<std::uint8_t> CVDocument::CopyServer(const CVServer& server) const {
    return EncodeServerRecords({RecordOf(server, registry_)});
}

std::vector<std::uint8_t> CVDocument::CopyGroup(const CVGroup& group) const {
    return EncodeGroupRecords({RecordOf(group, registry_)});
}

std::vector<std::uint8_t> CVDocument::CopyItems(const std::vector<CVItem*>& items) const {
    std::vector<ItemRecord> records;
    records.reserve(items.size());
    for (const CVItem* item : items) records.push_back(RecordOf(*item, registry_));
    return EncodeItemRecords(records);
}

template <class Record, class Decode>
bool CVDocument::DecodePasted(std::span<const std::uint8_t> bytes, std::vector<Record>& records, Decode decode) const {
    if (bytes.size() > kMaxPasteBytes) {
        ShowMessage(Tr("剪贴板中的数据太大，没有粘贴任何内容。", "The clipboard data is too large; nothing was pasted."));
        return false;
    }
    const ProjectLoadError error = decode(bytes, records);
    if (error == ProjectLoadError::None) return true;
    ShowMessage(RefusedText(error));
    return false;
}

int CVDocument::PasteServers(std::span<const std::uint8_t> bytes) {
    ProjectRecord project;
    if (!DecodePasted(bytes, project.servers, DecodeServerRecords)) return 0;
    ServerList pasted;
    try {
        BuildProject(project, pasted, registry_, ItemAddresses::kNew);
    } catch (const std::exception&) {
        pasted.DeleteAll();
        ShowMessage(Tr("内存不足，没有粘贴任何内容。", "Out of memory; nothing was pasted."));
        return 0;
    }
    StartProjectThreads(pasted);
    const int count = pasted.Count();
    std::vector<CVServer*> servers;
    while (CVServer* server = pasted.PopFront()) servers.push_back(server);
    for (CVServer* server : servers) {
        servers_.PushFront(server);
        UpdateAllViews(nullptr, HINT_SERVER_ADDED, server);
        for (CVGroup* group = server->FirstGroup(); group; group = group->next)
            UpdateAllViews(nullptr, HINT_GROUP_ADDED, group);
    }
    MarkModified(true);
    for (CVServer* server : servers) ConnectServer(server);
    return count;
}

int CVDocument::PasteGroups(CVServer& server, std::span<const std::uint8_t> bytes) {
    std::vector<GroupRecord> records;
    if (!DecodePasted(bytes, records, DecodeGroupRecords)) return 0;
    struct Pasted {
        std::unique_ptr<CVGroup> group;
        std::vector<std::unique_ptr<CVItem>> items;
    };
    std::vector<Pasted> pasted;
    try {
        pasted.reserve(records.size());
        for (const GroupRecord& record : records) {
            Pasted next{BuildNewGroup(record, &server), {}};
            next.items = BuildNewItems(record.items, next.group.get(), registry_);
            pasted.push_back(std::move(next));
        }
    } catch (const std::exception&) {
        ShowMessage(Tr("内存不足，没有粘贴任何内容。", "Out of memory; nothing was pasted."));
        return 0;
    }
    for (Pasted& p : pasted) {
        std::string name = p.group->Name();
        if (server.MakeUniqueGroupName(name)) p.group->SetName(name);
        CVGroup* group = p.group.release();
        server.AddGroup(group, false);  // listed, and made on the server when it is connected
        group->StartCheckThread();
        UpdateAllViews(nullptr, HINT_GROUP_ADDED, group);
        MarkModified(true);
        AddNewItems(*group, Release(p.items));
    }
    return static_cast<int>(pasted.size());
}

int CVDocument::PasteItems(CVGroup& group, std::span<const std::uint8_t> bytes) {
    std::vector<ItemRecord> records;
    if (!DecodePasted(bytes, records, DecodeItemRecords)) return 0;
    std::vector<std::unique_ptr<CVItem>> items;
    try {
        items = BuildNewItems(records, &group, registry_);
    } catch (const std::exception&) {
        ShowMessage(Tr("内存不足，没有粘贴任何内容。", "Out of memory; nothing was pasted."));
        return 0;
    }
    const int count = static_cast<int>(items.size());
    AddNewItems(group, Release(items));
    return count;
}
