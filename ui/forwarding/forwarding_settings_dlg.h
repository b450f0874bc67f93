// The forwarding settings dialog ("转发设置", Tools menu): the listen address and port of the
// data server, the peers that may connect, whether peers may write (all, none, or those
// listed) and the most peers served at once. It shows OPC.cfg's [FORWARDING] values as they
// are written there; OK checks every field (an entry that is not an address or CIDR range
// keeps the dialog open with a message) and hands the settings to the caller.
#pragma once

#include "forwarding/forwarding_settings.h"
#include "ui/framework/dialog_parts.h"

#include <QDialog>

#include <functional>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class CForwardingSettingsDlg : public QDialog {
public:
    // `stored` gives the values of the keys (OPC.cfg's by default).
    explicit CForwardingSettingsDlg(QWidget* parent, const SettingLookup& stored = {},
                                    DialogMessageFunction message = {});

    QLineEdit* ListenEdit() const { return listen_; }
    QLineEdit* PortEdit() const { return port_; }
    QPlainTextEdit* AllowEdit() const { return allow_; }
    QComboBox* WritesList() const { return writes_; }
    QPlainTextEdit* WritersEdit() const { return writers_; }
    QLineEdit* MaxPeersEdit() const { return maxPeers_; }
    // The settings as accepted.
    const ForwardingSettings& Settings() const { return settings_; }

    void accept() override;

private:
    // The first problem of the fields, shown at its field; false when there was one.
    bool CheckFields(const std::vector<SettingsProblem>& problems);
    QWidget* FieldOf(const std::string& key) const;

    QLineEdit* listen_;
    QLineEdit* port_;
    QPlainTextEdit* allow_;
    QComboBox* writes_;
    QPlainTextEdit* writers_;
    QLineEdit* maxPeers_;
    DialogMessageFunction message_;
    ForwardingSettings settings_;
};

// The Tools menu's command: the dialog; OK stores the settings in OPC.cfg and hands them to
// `apply` (the data server takes them at once). A file that cannot be written is said so.
void RunForwardingSettingsDialog(QWidget* parent, const std::function<void(const ForwardingSettings&)>& apply,
                                 DialogMessageFunction message = {});
