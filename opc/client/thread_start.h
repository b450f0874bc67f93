// When a project object starts its own thread (a group's check thread, a server's watchdog):
// at once, or later with its Start call, for objects built from a file that may still be
// refused.
#pragma once

#include "platform/shell/trace.h"

#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

enum class ThreadStart { kNow, kLater };

// Starts `thread` running `body` unless it runs already. A thread that cannot be started
// (the system is out of threads or memory) leaves the object without it, with a trace line.
template <class Body>
void StartObjectThread(std::thread& thread, const char* what, Body body) {
    if (thread.joinable()) return;
    try {
        thread = std::thread(std::move(body));
    } catch (const std::exception& error) {
        // std::system_error when the system has no thread to give, std::bad_alloc when there is
        // no memory for the thread's state.
        TraceLine("%s:%d:\"%s not started: %s\"\r\n", "ThreadStart", __LINE__, what, error.what());
    }
}
