// An opcserverd on a loopback port for the GUI benchmarks, started and stopped around a run.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

class HostProcess {
public:
    // The host with `loadTags` load tags; pid 0 when it could not be started.
    HostProcess(const char* program, unsigned port, unsigned loadTags) {
        const std::string tags = std::to_string(loadTags);
        const std::string portText = std::to_string(port);
        const char* argv[] = {program, "--plain-tcp", "--port", portText.c_str(), "--load-tags", tags.c_str(), nullptr};
        if (posix_spawn(&pid_, program, nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = 0;
        std::this_thread::sleep_for(std::chrono::seconds(2));  // the host builds its catalogue first
    }
    ~HostProcess() {
        if (pid_ == 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool Running() const { return pid_ != 0; }

private:
    pid_t pid_ = 0;
};
