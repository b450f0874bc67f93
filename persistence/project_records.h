// The project file's records as plain values: what a server, a group and an item store.
// The file is decoded into these before any object is built, so a refused file leaves no
// half-built project behind, and the decoder can be tested and fuzzed on its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ItemRecord {
    std::string accessPath;
    std::string itemId;
    std::uint32_t active = 0;
    std::uint16_t dataType = 0;  // VARTYPE
    std::uint32_t accessRights = 1;
    std::int32_t address = -1;  // -1: none
    std::uint32_t reserved = 0;

    bool operator==(const ItemRecord&) const = default;
};

struct GroupRecord {
    std::string name;
    std::uint32_t updateRate = 100;
    std::uint32_t localeId = 1033;
    std::int32_t timeBias = 0;
    float percentDeadband = 0.0f;
    std::uint32_t active = 1;
    std::uint32_t updateMethod = 2;
    std::uint32_t removalFlags = 0;
    std::uint32_t refreshInterval = 1;
    std::vector<ItemRecord> items;  // in file order

    bool operator==(const GroupRecord&) const = default;
};

struct ServerRecord {
    std::string progId;
    std::string machine;
    std::uint32_t flags = 0;
    std::vector<GroupRecord> groups;  // in file order

    bool operator==(const ServerRecord&) const = default;
};

struct ProjectRecord {
    std::vector<ServerRecord> servers;  // in file order

    bool operator==(const ProjectRecord&) const = default;
};
