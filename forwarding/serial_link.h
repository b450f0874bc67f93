// The serial port link: a port check. Starting it opens the chosen port, applies the line
// settings and the timeouts, and releases the port again; no data is sent or received. The
// settings live for the run only.
//
// The port is a name the machine lists for its serial devices (ttyS0, ttyUSB0) or a device
// path (/dev/pts/3). QSerialPort opens it exclusively, puts it in raw mode with its own line
// settings and, when it closes the port, gives the device back the settings it had before.
//
// Threads: the settings are written on the GUI thread (the settings dialog). Each start hands
// a copy of them to a new worker thread, which is not waited for; it reaches the windows only
// through the report channel. The link joins its workers when it goes (each takes
// milliseconds: the port is opened without waiting for a carrier).
#pragma once

#include "forwarding/link_reports.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SerialSettings {
    std::string portName;  // empty until the operator chooses one
    std::uint32_t baudRate = 9600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even
    std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
};

// The rates the settings dialog offers, in its order.
inline constexpr std::array<std::uint32_t, 8> kSerialBaudRates = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400};

// What the failed step of the last check said: QSerialPort's error number (or the system's,
// for the read-back) and its text. Code 0: no failure yet.
struct SerialPortError {
    std::uint32_t code = 0;
    std::string text;
};

// The worker's job, on the calling thread (any thread, while the application object exists).
// Opens and configures the port; on success runs `whileOpen` (a test looks at the device then)
// and closes the port. Failures beep or show "SetCommStat Error " or
// "GetCommStat Error ", then "初始化串口错误！", through the channel; `error` gets the failed
// step's error. Returns 0 or -1.
int RunSerialPortCheck(const SerialSettings& settings, LinkReportChannel& channel, SerialPortError& error,
                       const std::function<void()>& whileOpen = {});

class CSerialLink {
public:
    explicit CSerialLink(std::shared_ptr<LinkReportChannel> channel);
    ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // GUI thread only.
    const SerialSettings& Settings() const { return settings_; }
    void SetSettings(SerialSettings settings) { settings_ = std::move(settings); }
    SerialPortError LastError() const;

    // Starts a worker on a copy of the settings; the worker ends by telling the channel its
    // result. False, after a beep, when no thread could be made.
    bool Start();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // Joins the workers that have ended.
    void ForgetFinishedWorkers();

    std::shared_ptr<LinkReportChannel> channel_;
    SerialSettings settings_;
    mutable std::mutex errorLock_;
    SerialPortError lastError_;
    std::vector<Worker> workers_;
};
