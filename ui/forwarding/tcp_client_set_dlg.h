// The TCP client settings dialog ("Tcp客户端设置"): the station's host (at most 59 characters;
// an IPv4 or IPv6 address or a host name) and port. OK checks the port (0 to 65535: a larger
// number would reach another port once cut to 16 bits) and keeps the dialog open when it is
// not one; the caller then stores the fields and starts the link.
#pragma once

#include "forwarding/tcp_client_link.h"
#include "ui/framework/dialog_parts.h"

#include <QDialog>

class QLineEdit;

class CTcpClientSetDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxPort = 65535;

    CTcpClientSetDlg(const TcpClientSettings& settings, QWidget* parent, DialogMessageFunction message = {});

    QLineEdit* HostEdit() const { return host_; }
    QLineEdit* PortEdit() const { return port_; }
    // The fields as accepted.
    const TcpClientSettings& Settings() const { return settings_; }

    void accept() override;

private:
    QLineEdit* host_;
    QLineEdit* port_;
    DialogMessageFunction message_;
    TcpClientSettings settings_;
};

// The event log's command 32813: the dialog with the link's settings; OK stores them and
// starts the link, Cancel changes nothing.
void RunTcpClientSetDialog(QWidget* parent, CTcpClientLink& link, DialogMessageFunction message = {});
