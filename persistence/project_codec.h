// The project file byte for byte: a server count, then server records, each with its group
// records, each with its item records. Every record starts with schema 1.
#pragma once

#include "persistence/project_records.h"

#include <cstdint>
#include <span>
#include <vector>

enum class ProjectLoadError {
    None,
    EndOfFile,      // a field or a counted record runs past the end of the file
    WrongSchema,    // a record whose schema is not 1
    TrailingBytes,  // bytes after the last record where nothing may follow
};

std::vector<std::uint8_t> EncodeProject(const ProjectRecord& project);

// Decodes a whole file; bytes after the last record are ignored. On an error `project` is
// left empty.
ProjectLoadError DecodeProject(std::span<const std::uint8_t> bytes, ProjectRecord& project);

// Records of one level with their count before them, and nothing after them: what the
// clipboard carries for servers (the project file's own form), for groups and for items.
// Bytes after the last record are refused; on an error `records` is left empty.
std::vector<std::uint8_t> EncodeServerRecords(const std::vector<ServerRecord>& servers);
std::vector<std::uint8_t> EncodeGroupRecords(const std::vector<GroupRecord>& groups);
std::vector<std::uint8_t> EncodeItemRecords(const std::vector<ItemRecord>& items);
ProjectLoadError DecodeServerRecords(std::span<const std::uint8_t> bytes, std::vector<ServerRecord>& servers);
ProjectLoadError DecodeGroupRecords(std::span<const std::uint8_t> bytes, std::vector<GroupRecord>& groups);
ProjectLoadError DecodeItemRecords(std::span<const std::uint8_t> bytes, std::vector<ItemRecord>& items);

// The pieces, for files made of selected records (split save).
class ArchiveWriter;
void WriteServerHeader(ArchiveWriter& out, const ServerRecord& server, std::uint32_t groupCount);
void WriteGroupHeader(ArchiveWriter& out, const GroupRecord& group, std::uint32_t itemCount);
void WriteItem(ArchiveWriter& out, const ItemRecord& item);
