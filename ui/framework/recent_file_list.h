// The recent-file list of the File menu: the newest first, at most `size` entries, kept in
// the profile section "Recent File List" as "File1", "File2", ... and written at each change.
#pragma once

#include <string>
#include <vector>

class RecentFileList {
public:
    static constexpr const char* kSection = "Recent File List";

    explicit RecentFileList(int size = 4);

    void Load();
    // Puts `path` at the top (moving it when already listed) and writes the list.
    void Add(const std::string& path);
    // Removes entry `index` and writes the list.
    void Remove(int index);

    const std::vector<std::string>& Entries() const { return entries_; }
    int Size() const { return size_; }

    // The menu text of entry `index`: "&1 " and the path, shortened in the middle when long.
    static std::string MenuText(int index, const std::string& path);

private:
    void Save() const;

    int size_;
    std::vector<std::string> entries_;
};
