#include "forwarding/serial_link.h"

#include "platform/shell/trace.h"
#include "platform/strings/language.h"

#include <QEventLoop>
#include <QSerialPort>

#include <termios.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

constexpr const char* kSetStateFailed = "SetCommStat Error ";
constexpr const char* kGetStateFailed = "GetCommStat Error ";
// A read waits at most this long for data: VTIME counts tenths of a second.
constexpr cc_t kReadTimeoutTenths = 16;  // 1600 ms

QSerialPort::DataBits DataBitsOf(std::uint8_t bits) { return bits == 7 ? QSerialPort::Data7 : QSerialPort::Data8; }

QSerialPort::Parity ParityOf(std::uint8_t parity) {
    switch (parity) {
    case 1: return QSerialPort::OddParity;
    case 2: return QSerialPort::EvenParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits StopBitsOf(std::uint8_t stopBits) { return stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop; }

SerialPortError ErrorOf(const QSerialPort& port) {
    return {static_cast<std::uint32_t>(port.error()), port.errorString().toStdString()};
}

// The line settings of the check; false, with the error, when the device refuses one.
bool ApplyLineSettings(QSerialPort& port, const SerialSettings& settings, SerialPortError& error) {
    // A terminal here knows one or two stop bits; QSerialPort would quietly use one for 1.5.
    if (settings.stopBits == 1) {
        error = {static_cast<std::uint32_t>(QSerialPort::UnsupportedOperationError), "1.5 stop bits are not available"};
        return false;
    }
    const bool applied = port.setBaudRate(static_cast<qint32>(settings.baudRate)) &&
                         port.setDataBits(DataBitsOf(settings.dataBits)) && port.setParity(ParityOf(settings.parity)) &&
                         port.setStopBits(StopBitsOf(settings.stopBits));
    if (!applied) error = ErrorOf(port);
    return applied;
}

// Opening: every failure is recorded and shown here; the caller adds "初始化串口错误！".
bool OpenPort(QSerialPort& port, const SerialSettings& settings, LinkReportChannel& channel, SerialPortError& error) {
    // Opened for reading and writing, exclusively. Reading the device's line settings is part
    // of the open: a file that is no terminal (a regular file, /dev/null) fails here.
    port.setPortName(QString::fromStdString(settings.portName));
    if (settings.portName.empty() || !port.open(QIODevice::ReadWrite)) {
        error = ErrorOf(port);
        channel.Beep();
        return false;
    }
    if (!ApplyLineSettings(port, settings, error)) {
        channel.Message(kSetStateFailed);
        return false;
    }
    termios applied{};
    if (::tcgetattr(static_cast<int>(port.handle()), &applied) != 0) {
        error = {static_cast<std::uint32_t>(errno), std::strerror(errno)};
        channel.Message(kGetStateFailed);
        return false;
    }
    // Timeouts: no wait between characters, at most 1600 ms for a whole read, none for writes
    // (which never wait for a timer on this platform). The result is not examined.
    applied.c_cc[VMIN] = 0;
    applied.c_cc[VTIME] = kReadTimeoutTenths;
    ::tcsetattr(static_cast<int>(port.handle()), TCSANOW, &applied);
    return true;
}

}  // namespace

int RunSerialPortCheck(const SerialSettings& settings, LinkReportChannel& channel, SerialPortError& error,
                       const std::function<void()>& whileOpen) {
    // The port object's notifiers need an event dispatcher in this thread: an event loop
    // object gives a worker thread one (the loop itself never runs).
    const QEventLoop dispatcher;
    QSerialPort port;
    if (!OpenPort(port, settings, channel, error)) {
        TraceLine("%s:%d:\"%s: %s\"\r\n", "SerialLink", __LINE__, settings.portName.c_str(), error.text.c_str());
        channel.Message(Tr("初始化串口错误！", "Serial port initialisation error!"));
        return -1;
    }
    if (whileOpen) whileOpen();
    port.close();
    return 0;
}

CSerialLink::CSerialLink(std::shared_ptr<LinkReportChannel> channel) : channel_(std::move(channel)) {}

CSerialLink::~CSerialLink() {
    for (Worker& worker : workers_) worker.thread.join();
}

SerialPortError CSerialLink::LastError() const {
    std::lock_guard lock(errorLock_);
    return lastError_;
}

bool CSerialLink::Start() {
    ForgetFinishedWorkers();
    try {
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([this, settings = settings_, channel = channel_, done] {
            SerialPortError error;
            const int result = RunSerialPortCheck(settings, *channel, error);
            if (result != 0) {
                std::lock_guard lock(errorLock_);
                lastError_ = error;
            }
            channel->Finished(result);
            done->store(true);
        });
        workers_.push_back({std::move(thread), std::move(done)});
        return true;
    } catch (const std::system_error&) {
        channel_->Beep();
        return false;
    }
}

void CSerialLink::ForgetFinishedWorkers() {
    std::erase_if(workers_, [](Worker& worker) {
        if (!worker.done->load()) return false;
        worker.thread.join();
        return true;
    });
}
