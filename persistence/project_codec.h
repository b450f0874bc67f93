// The project file byte for byte: a server count, then server records, each with its group
// records, each with its item records. Every record starts with schema 1.
#pragma once

#include "persistence/project_records.h"

#include <cstdint>
#include <span>
#include <vector>

enum class ProjectLoadError {
    None,
    EndOfFile,    // a field or a counted record runs past the end of the file
    WrongSchema,  // a record whose schema is not 1
};

std::vector<std::uint8_t> EncodeProject(const ProjectRecord& project);

// Decodes a whole file; bytes after the last record are ignored. On an error `project` is
// left empty.
ProjectLoadError DecodeProject(std::span<const std::uint8_t> bytes, ProjectRecord& project);

// The pieces, for files made of selected records (split save).
class ArchiveWriter;
void WriteServerHeader(ArchiveWriter& out, const ServerRecord& server, std::uint32_t groupCount);
void WriteGroupHeader(ArchiveWriter& out, const GroupRecord& group, std::uint32_t itemCount);
void WriteItem(ArchiveWriter& out, const ItemRecord& item);
