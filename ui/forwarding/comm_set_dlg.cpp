#include "ui/forwarding/comm_set_dlg.h"

#include "platform/strings/language.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text); }

QComboBox* DropDownList(const QStringList& entries, QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->addItems(entries);
    return list;
}

int RateIndex(std::uint32_t baudRate) {
    const auto* found = std::find(kSerialBaudRates.begin(), kSerialBaudRates.end(), baudRate);
    return found == kSerialBaudRates.end() ? -1 : static_cast<int>(found - kSerialBaudRates.begin());
}

// The position of `value` in a list of `count` entries, -1 when it has none.
int IndexOf(int value, int count) { return value >= 0 && value < count ? value : -1; }

}  // namespace

QStringList CCommSetDlg::MachinePorts() {
    QStringList names;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) names << port.portName();
    names.sort();
    return names;
}

CCommSetDlg::CCommSetDlg(const SerialSettings& settings, QWidget* parent, const QStringList& ports,
                         DialogMessageFunction message)
    : QDialog(parent),
      port_(DropDownList(ports, this)),
      rate_(DropDownList({}, this)),
      dataBits_(DropDownList({QStringLiteral("8"), QStringLiteral("7")}, this)),
      stopBits_(DropDownList({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")}, this)),
      parity_(DropDownList({Utf8(Tr("无校验", "None")), Utf8(Tr("奇校验", "Odd")), Utf8(Tr("偶校验", "Even"))}, this)),
      sendPeriod_(new QLineEdit(QStringLiteral("0"), this)),
      station_(new QLineEdit(QStringLiteral("0"), this)),
      message_(message ? std::move(message) : PlainMessageBox),
      settings_(settings) {
    setWindowTitle(Utf8(Tr("串口通讯设置", "Serial Port Settings")));
    for (std::uint32_t rate : kSerialBaudRates) rate_->addItem(QString::number(rate));
    port_->setEditable(true);
    port_->setInsertPolicy(QComboBox::NoInsert);
    port_->lineEdit()->setMaxLength(kMaxPortLength);

    auto* properties = new QGroupBox(Utf8(Tr("属性", "Properties")), this);
    auto* form = new QFormLayout(properties);
    const auto addRow = [this, form](const char* label, QWidget* field) { form->addRow(FieldLabel(label, field, this), field); };
    addRow(Tr("端口：", "Port:"), port_);
    addRow(Tr("速率：", "Rate:"), rate_);
    addRow(Tr("数据位：", "Data bits:"), dataBits_);
    addRow(Tr("停止位：", "Stop bits:"), stopBits_);
    addRow(Tr("校验位：", "Parity:"), parity_);
    // The unit stands beside the field; the field stays beside its label for screen readers.
    auto* periodRow = new QHBoxLayout;
    periodRow->addWidget(sendPeriod_);
    periodRow->addWidget(new QLabel(Utf8(Tr("秒", "s")), this));
    form->addRow(FieldLabel(Tr("发送周期：", "Send period:"), sendPeriod_, this), periodRow);
    addRow(Tr("DTU站址：", "DTU station address:"), station_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(properties);
    layout->addWidget(OkCancelButtons(this));
    Preselect();
    port_->setFocus();
}

void CCommSetDlg::Preselect() {
    const QString portName = QString::fromStdString(settings_.portName);
    port_->setCurrentIndex(port_->findText(portName, Qt::MatchFixedString | Qt::MatchCaseSensitive));
    // A typed device path is no entry of the list; the field shows it all the same.
    if (port_->currentIndex() < 0) port_->setEditText(portName);
    rate_->setCurrentIndex(RateIndex(settings_.baudRate));
    dataBits_->setCurrentIndex(settings_.dataBits == 8 ? 0 : (settings_.dataBits == 7 ? 1 : -1));
    parity_->setCurrentIndex(IndexOf(settings_.parity, parity_->count()));
    stopBits_->setCurrentIndex(IndexOf(settings_.stopBits, stopBits_->count()));
}

void CCommSetDlg::accept() {
    // Shown and checked as integers, not used by the link.
    constexpr int kMin = std::numeric_limits<int>::min();
    constexpr int kMax = std::numeric_limits<int>::max();
    if (!ReadIntegerField(*sendPeriod_, kMin, kMax, message_, this)) return;
    if (!ReadIntegerField(*station_, kMin, kMax, message_, this)) return;

    const QString port = port_->currentText().trimmed();
    if (!port.isEmpty()) settings_.portName = port.toStdString();
    if (const int rate = rate_->currentIndex(); rate >= 0)
        settings_.baudRate = kSerialBaudRates[static_cast<std::size_t>(rate)];
    if (const int bits = dataBits_->currentIndex(); bits >= 0) settings_.dataBits = bits == 0 ? 8 : 7;
    if (const int parity = parity_->currentIndex(); parity >= 0) settings_.parity = static_cast<std::uint8_t>(parity);
    if (const int stop = stopBits_->currentIndex(); stop >= 0) settings_.stopBits = static_cast<std::uint8_t>(stop);
    QDialog::accept();
}

void RunCommSetDialog(QWidget* parent, CSerialLink& link, DialogMessageFunction message) {
    CCommSetDlg dialog(link.Settings(), parent, CCommSetDlg::MachinePorts(), std::move(message));
    if (dialog.exec() != QDialog::Accepted) return;
    link.SetSettings(dialog.Settings());
    link.Start();
}
