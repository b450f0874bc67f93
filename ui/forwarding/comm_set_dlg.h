// The serial port settings dialog ("串口通讯设置"): port, rate, data bits, stop bits and parity
// in drop-down lists, and the send period and DTU station address, which are shown and
// accepted but not used by the link. The port list holds this machine's serial ports and can
// be typed into, so that any device path (a pseudo-terminal, a by-id link) can be chosen.
//
// The lists open at the settings' values; a value they do not hold leaves the list without a
// selection. OK takes every list that has a selection; a port field left empty keeps the port.
#pragma once

#include "forwarding/serial_link.h"
#include "ui/framework/dialog_parts.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLineEdit;

class CCommSetDlg : public QDialog {
    Q_OBJECT
public:
    // A device path is longer than the old 31-character port names; this is plenty.
    static constexpr int kMaxPortLength = 255;

    // `ports`: the names the port list offers (the machine's serial ports by default).
    CCommSetDlg(const SerialSettings& settings, QWidget* parent, const QStringList& ports = MachinePorts(),
                DialogMessageFunction message = {});

    // The serial ports of this machine as QSerialPortInfo lists them, by name (ttyS0...).
    static QStringList MachinePorts();

    QComboBox* PortList() const { return port_; }
    QComboBox* RateList() const { return rate_; }
    QComboBox* DataBitsList() const { return dataBits_; }
    QComboBox* StopBitsList() const { return stopBits_; }
    QComboBox* ParityList() const { return parity_; }
    QLineEdit* SendPeriodEdit() const { return sendPeriod_; }
    QLineEdit* StationEdit() const { return station_; }
    // The settings as accepted.
    const SerialSettings& Settings() const { return settings_; }

    void accept() override;

private:
    void Preselect();

    QComboBox* port_;
    QComboBox* rate_;
    QComboBox* dataBits_;
    QComboBox* stopBits_;
    QComboBox* parity_;
    QLineEdit* sendPeriod_;
    QLineEdit* station_;
    DialogMessageFunction message_;
    SerialSettings settings_;
};

// The event log's command 32812: the dialog with the link's settings; OK stores them and
// starts the link, Cancel changes nothing.
void RunCommSetDialog(QWidget* parent, CSerialLink& link, DialogMessageFunction message = {});
