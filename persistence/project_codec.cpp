#include "persistence/project_codec.h"

#include "persistence/archive.h"

namespace {

constexpr std::uint32_t kSchema = 1;

// The fewest bytes each record can take (empty texts): a count is believed only as far as
// the bytes left can hold that many records.
constexpr std::size_t kMinServerBytes = 4 + 1 + 1 + 4 + 4;
constexpr std::size_t kMinGroupBytes = 4 + 1 + 9 * 4;
constexpr std::size_t kMinItemBytes = 4 + 1 + 1 + 4 + 2 + 4 + 4 + 4;

class ProjectReader {
public:
    explicit ProjectReader(std::span<const std::uint8_t> bytes) : in_(bytes) {}

    ProjectLoadError Read(ProjectRecord& project) { return ReadServers(project.servers); }

    // A count, then that many records of one level.
    ProjectLoadError ReadServers(std::vector<ServerRecord>& servers) {
        return ReadList(servers, kMinServerBytes, &ProjectReader::ReadServer);
    }
    ProjectLoadError ReadGroups(std::vector<GroupRecord>& groups) {
        return ReadList(groups, kMinGroupBytes, &ProjectReader::ReadGroup);
    }
    ProjectLoadError ReadItems(std::vector<ItemRecord>& items) {
        return ReadList(items, kMinItemBytes, &ProjectReader::ReadItem);
    }

    // After a list: bytes left over are an error of their own.
    ProjectLoadError RefuseTrailingBytes() {
        if (error_ == ProjectLoadError::None && !in_.AtEnd()) error_ = ProjectLoadError::TrailingBytes;
        return error_;
    }

private:
    template <class Record>
    ProjectLoadError ReadList(std::vector<Record>& records, std::size_t minRecordBytes,
                              void (ProjectReader::*readOne)(Record&)) {
        const std::uint32_t count = Count(minRecordBytes);
        records.reserve(count);
        for (std::uint32_t i = 0; i < count && Ok(); ++i) {
            records.emplace_back();
            (this->*readOne)(records.back());
        }
        if (error_ == ProjectLoadError::None && in_.Failed()) error_ = ProjectLoadError::EndOfFile;
        return error_;
    }

    bool Ok() const { return error_ == ProjectLoadError::None && !in_.Failed(); }

    bool Schema() {
        const std::uint32_t schema = in_.U32();
        if (!in_.Failed() && schema != kSchema) error_ = ProjectLoadError::WrongSchema;
        return Ok();
    }

    // A record count, refused when the rest of the file cannot hold that many records.
    std::uint32_t Count(std::size_t minRecordBytes) { return Checked(in_.U32(), minRecordBytes); }

    // A count read earlier, or 0 with the error set when the bytes left cannot hold that many
    // records: nothing is allocated from a length field alone.
    std::uint32_t Checked(std::uint32_t count, std::size_t minRecordBytes) {
        if (!Ok()) return 0;
        if (count > in_.Remaining() / minRecordBytes) {
            error_ = ProjectLoadError::EndOfFile;
            return 0;
        }
        return count;
    }

    void ReadServer(ServerRecord& server) {
        if (!Schema()) return;
        in_.Text(server.progId);
        in_.Text(server.machine);
        server.flags = in_.U32();
        const std::uint32_t count = Count(kMinGroupBytes);
        server.groups.reserve(count);
        for (std::uint32_t i = 0; i < count && Ok(); ++i) {
            server.groups.emplace_back();
            ReadGroup(server.groups.back());
        }
    }

    void ReadGroup(GroupRecord& group) {
        if (!Schema()) return;
        in_.Text(group.name);
        group.updateRate = in_.U32();
        group.localeId = in_.U32();
        group.timeBias = in_.I32();
        group.percentDeadband = in_.F32();
        group.active = in_.U32();
        group.updateMethod = in_.U32();
        group.removalFlags = in_.U32();
        // The item count stands before the refresh interval; the items follow it.
        const std::uint32_t claimed = in_.U32();
        group.refreshInterval = in_.U32();
        const std::uint32_t itemCount = Checked(claimed, kMinItemBytes);
        group.items.reserve(itemCount);
        for (std::uint32_t i = 0; i < itemCount && Ok(); ++i) {
            group.items.emplace_back();
            ReadItem(group.items.back());
        }
    }

    void ReadItem(ItemRecord& item) {
        if (!Schema()) return;
        in_.Text(item.accessPath);
        in_.Text(item.itemId);
        item.active = in_.U32();
        item.dataType = in_.U16();
        item.accessRights = in_.U32();
        item.address = in_.I32();
        item.reserved = in_.U32();
    }

    ArchiveReader in_;
    ProjectLoadError error_ = ProjectLoadError::None;
};

}  // namespace

void WriteServerHeader(ArchiveWriter& out, const ServerRecord& server, std::uint32_t groupCount) {
    out.U32(kSchema);
    out.Text(server.progId);
    out.Text(server.machine);
    out.U32(server.flags);
    out.U32(groupCount);
}

void WriteGroupHeader(ArchiveWriter& out, const GroupRecord& group, std::uint32_t itemCount) {
    out.U32(kSchema);
    out.Text(group.name);
    out.U32(group.updateRate);
    out.U32(group.localeId);
    out.I32(group.timeBias);
    out.F32(group.percentDeadband);
    out.U32(group.active);
    out.U32(group.updateMethod);
    out.U32(group.removalFlags);
    out.U32(itemCount);
    out.U32(group.refreshInterval);
}

void WriteItem(ArchiveWriter& out, const ItemRecord& item) {
    out.U32(kSchema);
    out.Text(item.accessPath);
    out.Text(item.itemId);
    out.U32(item.active);
    out.U16(item.dataType);
    out.U32(item.accessRights);
    out.I32(item.address);
    out.U32(item.reserved);
}

namespace {

void WriteGroup(ArchiveWriter& out, const GroupRecord& group) {
    WriteGroupHeader(out, group, static_cast<std::uint32_t>(group.items.size()));
    for (const ItemRecord& item : group.items) WriteItem(out, item);
}

void WriteServer(ArchiveWriter& out, const ServerRecord& server) {
    WriteServerHeader(out, server, static_cast<std::uint32_t>(server.groups.size()));
    for (const GroupRecord& group : server.groups) WriteGroup(out, group);
}

template <class Record>
std::vector<std::uint8_t> EncodeList(const std::vector<Record>& records, void (*write)(ArchiveWriter&, const Record&)) {
    ArchiveWriter out;
    out.U32(static_cast<std::uint32_t>(records.size()));
    for (const Record& record : records) write(out, record);
    return out.Take();
}

template <class Record>
ProjectLoadError DecodeList(std::span<const std::uint8_t> bytes, std::vector<Record>& records,
                            ProjectLoadError (ProjectReader::*read)(std::vector<Record>&)) {
    records.clear();
    ProjectReader reader(bytes);
    (reader.*read)(records);
    const ProjectLoadError error = reader.RefuseTrailingBytes();
    if (error != ProjectLoadError::None) records = {};
    return error;
}

}  // namespace

std::vector<std::uint8_t> EncodeProject(const ProjectRecord& project) { return EncodeServerRecords(project.servers); }

ProjectLoadError DecodeProject(std::span<const std::uint8_t> bytes, ProjectRecord& project) {
    project = {};
    const ProjectLoadError error = ProjectReader(bytes).Read(project);
    if (error != ProjectLoadError::None) project = {};
    return error;
}

std::vector<std::uint8_t> EncodeServerRecords(const std::vector<ServerRecord>& servers) {
    return EncodeList(servers, &WriteServer);
}

std::vector<std::uint8_t> EncodeGroupRecords(const std::vector<GroupRecord>& groups) {
    return EncodeList(groups, &WriteGroup);
}

std::vector<std::uint8_t> EncodeItemRecords(const std::vector<ItemRecord>& items) { return EncodeList(items, &WriteItem); }

ProjectLoadError DecodeServerRecords(std::span<const std::uint8_t> bytes, std::vector<ServerRecord>& servers) {
    return DecodeList(bytes, servers, &ProjectReader::ReadServers);
}

ProjectLoadError DecodeGroupRecords(std::span<const std::uint8_t> bytes, std::vector<GroupRecord>& groups) {
    return DecodeList(bytes, groups, &ProjectReader::ReadGroups);
}

ProjectLoadError DecodeItemRecords(std::span<const std::uint8_t> bytes, std::vector<ItemRecord>& items) {
    return DecodeList(bytes, items, &ProjectReader::ReadItems);
}
