// The one folder in which a server host lets its clients' IPersistFile calls load and save.
// A client names a plain file in it, never a path: the name is checked, the file is opened
// relative to the folder without following links, and the server is handed that open file
// (through /proc/self/fd), so nothing can swap it for another file between check and use.
#pragma once

#include "platform/com/hresult.h"

#include <memory>
#include <string>
#include <string_view>

namespace rpc {

// An open descriptor, closed when it goes.
class OpenFile {
public:
    OpenFile() = default;
    explicit OpenFile(int fd) : fd_(fd) {}
    ~OpenFile();
    OpenFile(OpenFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    OpenFile& operator=(OpenFile&& other) noexcept;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int fd() const { return fd_; }
    // The path through which the server reopens this very file.
    std::u16string ServerPath() const;

private:
    int fd_ = -1;
};

class PersistFolder {
public:
    // The folder, opened once; null with *error set when it is not a folder that can be opened.
    static std::shared_ptr<PersistFolder> Open(const std::string& path, std::string* error);
    ~PersistFolder();
    PersistFolder(const PersistFolder&) = delete;
    PersistFolder& operator=(const PersistFolder&) = delete;

    // A plain name: not empty, not "." or "..", no '/', no control characters, at most 255 bytes.
    static bool IsPlainName(std::string_view name);

    // The named regular file, for reading: E_ACCESSDENIED for a name that is not plain, a link
    // or anything but a regular file; STG_E_FILENOTFOUND when it does not exist.
    HRESULT OpenForLoad(std::string_view name, OpenFile* file) const;
    // The named regular file for writing, created (mode 0600) when missing, with *created
    // telling so; E_ACCESSDENIED as above, STG_E_ACCESSDENIED when it cannot be created.
    HRESULT OpenForSave(std::string_view name, OpenFile* file, bool* created) const;
    // Removes a file OpenForSave created for a save that then failed.
    void Remove(std::string_view name) const;

private:
    explicit PersistFolder(int fd) : fd_(fd) {}
    HRESULT OpenChecked(std::string_view name, int flags, OpenFile* file) const;

    int fd_;
};

}  // namespace rpc
