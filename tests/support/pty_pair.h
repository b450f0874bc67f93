// A pair of connected pseudo-terminals made by socat (`socat -d -d pty,raw,echo=0
// pty,raw,echo=0`), for the serial link tests, and stty's view of a terminal's line settings.
// The socat process ends with the pair.
//
// Both programs are started with fork and exec: ThreadSanitizer loses track of the parent's
// locks after the vfork that QProcess and posix_spawn use, and then reports races that are
// none.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <regex>
#include <string>
#include <vector>

namespace pty_pair_detail {

constexpr int kWaitMs = 10000;

// Runs `arguments` with its output (`stream` 1 or 2) into a pipe; false when it cannot start.
inline bool Start(const std::vector<std::string>& arguments, int stream, pid_t& pid, int& output) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid = ::fork();
    if (pid == 0) {
        ::dup2(ends[1], stream);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(ends[1]);
    output = ends[0];
    if (pid > 0) return true;
    ::close(output);
    return false;
}

// Appends what `fd` has until `done` holds or it ends; false when the deadline passed first.
template <typename Done>
bool ReadUntil(int fd, std::string& text, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!done(text)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) != 1) return false;
        char buffer[512];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

}  // namespace pty_pair_detail

class PtyPair {
public:
    PtyPair() {
        using namespace pty_pair_detail;
        if (!Start({"socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"}, STDERR_FILENO, socat_, said_)) return;
        // socat names each terminal ("N PTY is /dev/pts/3") before it relays.
        const std::regex named("PTY is (\\S+)");
        std::string text;
        ReadUntil(said_, text, [&](const std::string& so_far) {
            paths_.clear();
            for (auto it = std::sregex_iterator(so_far.begin(), so_far.end(), named); it != std::sregex_iterator(); ++it)
                paths_.push_back((*it)[1]);
            return paths_.size() >= 2;
        });
    }
    ~PtyPair() {
        if (socat_ > 0) {
            ::kill(socat_, SIGTERM);
            ::waitpid(socat_, nullptr, 0);
        }
        if (said_ >= 0) ::close(said_);  // kept open until now: socat may still write to it
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return paths_.size() == 2; }
    std::string First() const { return Ok() ? paths_[0] : std::string(); }
    std::string Second() const { return Ok() ? paths_[1] : std::string(); }

private:
    pid_t socat_ = -1;
    int said_ = -1;
    std::vector<std::string> paths_;
};

// What `stty -F <device> -a` says of the terminal; empty when stty failed.
inline std::string SttySettings(const std::string& device) {
    using namespace pty_pair_detail;
    pid_t pid = -1;
    int output = -1;
    if (!Start({"stty", "-F", device, "-a"}, STDOUT_FILENO, pid, output)) return {};
    std::string text;
    const bool ended = ReadUntil(output, text, [](const std::string&) { return false; });
    ::close(output);
    if (!ended) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : std::string();
}
