// The server host of this computer's own user: a Unix socket in the user's private runtime
// folder, which no other user can reach or take first. A client names it as the computer
// "local"; the host admits only peers of its own user.
#pragma once

#include <string>
#include <string_view>

namespace rpc {

// True for the computer name of the local host ("local", in any case).
bool IsLocalComputer(std::string_view name);

// The host's socket, "$XDG_RUNTIME_DIR/opcstation/opcserverd.sock" (without XDG_RUNTIME_DIR:
// "/tmp/opcstation-UID/opcserverd.sock"). Makes the folder when missing; empty with *error set
// when the folder is not this user's alone (another owner, other users' access, a link).
std::string LocalSocketPath(std::string* error);

// True when the peer on the Unix socket `fd` runs as this process's user.
bool PeerIsSameUser(int fd);

}  // namespace rpc
