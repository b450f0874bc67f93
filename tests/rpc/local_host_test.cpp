// This user's own server host on a Unix socket: the folder it lives in is the user's alone, the
// host admits only its own user, a stale socket is cleared while a served one is left alone,
// and a client that names the computer "local" starts the host and finds it there.
#include "opc/da/opcda.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/memory.h"
#include "rpc/channel.h"
#include "rpc/host_server.h"
#include "rpc/local_endpoint.h"
#include "rpc/remote_activation.h"
#include "simserver/server_registry.h"
#include "tests/platform/temp_folder.h"
#include "tests/rpc/remote_object.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// XDG_RUNTIME_DIR pointed at a folder of the test's for as long as it lives.
class RuntimeFolder {
public:
    RuntimeFolder() {
        ::chmod(folder_.path().c_str(), 0700);
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        if (old) old_ = old;
        ::setenv("XDG_RUNTIME_DIR", folder_.path().c_str(), 1);
    }
    ~RuntimeFolder() {
        if (old_.empty())
            ::unsetenv("XDG_RUNTIME_DIR");
        else
            ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    }
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;

    std::string Host() const { return folder_ / "opcstation"; }

private:
    TempFolder folder_;
    std::string old_;
};

bool PingOver(const std::string& socketPath) {
    HRESULT hr = S_OK;
    auto channel = rpc::Channel::Connect("unix:" + socketPath, 0, &hr);
    if (!channel) return false;
    return SUCCEEDED(channel->Call([&]() -> kj::Promise<HRESULT> {
        return channel->Host().pingRequest().send().then([](auto&&) { return S_OK; });
    }));
}

int ConnectUnix(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

TEST(LocalHost, TheSocketFolderIsTheUsersAloneOrRefused) {
    RuntimeFolder runtime;
    std::string error;
    const std::string path = rpc::LocalSocketPath(&error);
    ASSERT_EQ(path, runtime.Host() + "/opcserverd.sock") << error;
    struct stat status {};
    ASSERT_EQ(::lstat(runtime.Host().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700U);

    ::chmod(runtime.Host().c_str(), 0755);
    EXPECT_EQ(rpc::LocalSocketPath(&error), "") << "others may enter";
    EXPECT_NE(error.find("0700"), std::string::npos) << error;

    ::rmdir(runtime.Host().c_str());
    TempFolder elsewhere;
    ::chmod(elsewhere.path().c_str(), 0700);
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), runtime.Host().c_str()), 0);
    EXPECT_EQ(rpc::LocalSocketPath(&error), "") << "a link to a folder";
    ::unlink(runtime.Host().c_str());

    if (::geteuid() == 0) {
        ASSERT_EQ(::mkdir(runtime.Host().c_str(), 0700), 0);
        ASSERT_EQ(::chown(runtime.Host().c_str(), 65534, 65534), 0);
        EXPECT_EQ(rpc::LocalSocketPath(&error), "") << "another user's folder";
    }
}

// A peer of another user reaches the socket (in a folder open to all, here) and is closed at
// once; the host's own user is served.
TEST(LocalHost, OnlyTheHostsOwnUserIsAdmitted) {
    TempFolder folder;
    ::chmod(folder.path().c_str(), 0755);
    const std::string path = folder / "host.sock";
    rpc::HostServer host;
    rpc::HostOptions options;
    options.localSocket = path;
    std::string error;
    ASSERT_TRUE(host.Start(options, &error)) << error;
    EXPECT_TRUE(PingOver(path));

    if (::geteuid() != 0) GTEST_SKIP() << "another user's client needs root to make";
    ::chmod(path.c_str(), 0777);
    const pid_t child = ::fork();
    if (child == 0) {
        // Another user: connects, then learns whether the host closes on it.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        const int fd = ConnectUnix(path);
        if (fd < 0) ::_exit(4);
        pollfd watched{fd, POLLIN, 0};
        char byte = 0;
        const bool closed = ::poll(&watched, 1, 10000) == 1 && ::recv(fd, &byte, 1, 0) <= 0;
        ::_exit(closed ? 0 : 5);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not change user, 4: could not connect, 5: not closed";
    EXPECT_TRUE(PingOver(path)) << "the host serves its own user still";
}

TEST(LocalHost, AStaleSocketIsClearedAndAServedOneLeftAlone) {
    TempFolder folder;
    const std::string path = folder / "host.sock";
    std::string error;
    {
        rpc::HostServer first;
        rpc::HostOptions options;
        options.localSocket = path;
        ASSERT_TRUE(first.Start(options, &error)) << error;
        rpc::HostServer second;
        EXPECT_FALSE(second.Start(options, &error));
        EXPECT_NE(error.find("another host serves there"), std::string::npos) << error;
        EXPECT_TRUE(PingOver(path)) << "the first host still serves";
    }
    // A socket file nobody listens on, as a host killed with SIGKILL leaves it.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    rpc::HostServer again;
    rpc::HostOptions options;
    options.localSocket = path;
    ASSERT_TRUE(again.Start(options, &error)) << error;
    EXPECT_TRUE(PingOver(path));

    TempFolder other;
    TempFolder::Write(other / "host.sock", "a file");
    rpc::HostServer onAFile;
    options.localSocket = other / "host.sock";
    EXPECT_FALSE(onAFile.Start(options, &error));
    EXPECT_EQ(TempFolder::Read(other / "host.sock"), "a file") << "what is not a socket stays";
}

// The computer "local" reaches this user's host, which the client starts itself.
TEST(LocalHost, AClientNamingLocalStartsTheHostAndFindsItOnItsSocket) {
    RuntimeFolder runtime;
    rpc::InstallRemoteActivation(OPCSERVERD_PATH);
    simserver::RegisterSimulationServers();
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(WideFromUtf8(simserver::kDefaultProgId).c_str(), &clsid), S_OK);
    ComPtr<IOPCServer> server = CreateRemote<IOPCServer>(clsid, u"local", IID_IOPCServer);
    ASSERT_TRUE(server);
    OPCSERVERSTATUS* status = nullptr;
    EXPECT_EQ(server->GetStatus(&status), S_OK);
    if (status) {
        CoTaskMemFree(status->szVendorInfo);
        CoTaskMemFree(status);
    }
    server = nullptr;
    rpc::UninstallRemoteActivation();
    struct stat socketStatus {};
    EXPECT_EQ(::lstat((runtime.Host() + "/opcserverd.sock").c_str(), &socketStatus), 0);
    EXPECT_TRUE(S_ISSOCK(socketStatus.st_mode));
}

}  // namespace
