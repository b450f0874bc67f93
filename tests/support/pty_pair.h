// A pair of connected pseudo-terminals made by socat (`socat -d -d pty,raw,echo=0
// pty,raw,echo=0`), for the serial link tests, and stty's view of a terminal's line settings.
// The socat process ends with the pair.
#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <string>

class PtyPair {
public:
    PtyPair() {
        socat_.start(QStringLiteral("socat"), {QStringLiteral("-d"), QStringLiteral("-d"),
                                               QStringLiteral("pty,raw,echo=0"), QStringLiteral("pty,raw,echo=0")});
        socat_.setReadChannel(QProcess::StandardError);
        if (!socat_.waitForStarted(kWaitMs)) return;
        // socat names each terminal on standard error ("N PTY is /dev/pts/3") before it relays.
        const QRegularExpression named(QStringLiteral("PTY is (\\S+)"));
        const QDeadlineTimer deadline(kWaitMs);
        QString said;
        while (paths_.size() < 2 && !deadline.hasExpired()) {
            socat_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
            said += QString::fromLocal8Bit(socat_.readAllStandardError());
            paths_.clear();
            for (const QRegularExpressionMatch& match : named.globalMatch(said)) paths_ << match.captured(1);
        }
    }
    ~PtyPair() {
        socat_.kill();
        socat_.waitForFinished(kWaitMs);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return paths_.size() == 2; }
    std::string First() const { return paths_.value(0).toStdString(); }
    std::string Second() const { return paths_.value(1).toStdString(); }

private:
    static constexpr int kWaitMs = 10000;
    QProcess socat_;
    QStringList paths_;
};

// What `stty -F <device> -a` says of the terminal; empty when stty failed.
inline std::string SttySettings(const std::string& device) {
    QProcess stty;
    stty.start(QStringLiteral("stty"), {QStringLiteral("-F"), QString::fromStdString(device), QStringLiteral("-a")});
    if (!stty.waitForFinished(10000) || stty.exitCode() != 0) return {};
    return stty.readAllStandardOutput().toStdString();
}
