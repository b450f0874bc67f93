// The status window ("网关状态", View menu): what the gateway is doing, read once a second from
// the counters the core keeps. Above, the forwarding figures (peers connected, requests and
// writes per second, refused peers and writes) and the connected peers with their addresses
// and since when; below, per server since when it is connected, updates per second,
// reconnects and its last error with its time. It stays open beside the main window.
#pragma once

#include "forwarding/gateway_status.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QTableWidget;
class QTimer;

class CGatewayStatusWindow : public QDialog {
public:
    static constexpr int kRefreshMs = 1000;

    // The data server (null while there is none) and the project's servers (nothing while the
    // list is changing, which keeps the rows shown).
    using DataServerSource = std::function<const CDataServer*()>;
    using ServerSource = std::function<std::optional<std::vector<const CVServer*>>()>;

    CGatewayStatusWindow(QWidget* parent, DataServerSource dataServer, ServerSource servers);

    // Samples the figures and shows them (the timer's work).
    void Refresh();
    const GatewayStatus& Shown() const { return shown_; }

    QLabel* PeerCountLabel() const { return peerCount_; }
    QLabel* RequestRateLabel() const { return requestRate_; }
    QTableWidget* PeerTable() const { return peers_; }
    QTableWidget* ServerTable() const { return servers_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowPeers();
    void ShowServers();

    DataServerSource dataServer_;
    ServerSource serverList_;
    GatewayStatusSampler sampler_;
    GatewayStatus shown_;
    QTimer* timer_;
    QLabel* peerCount_;
    QLabel* requestRate_;
    QLabel* writeRate_;
    QLabel* refusedPeers_;
    QLabel* refusedWrites_;
    QTableWidget* peers_;
    QTableWidget* servers_;
};
