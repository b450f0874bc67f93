#include "ui/forwarding/forwarding_settings_dlg.h"

#include "platform/config/opc_config.h"
#include "platform/strings/language.h"

#include <algorithm>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

namespace k = forwarding_keys;

constexpr LinkWrites kWriteChoices[] = {LinkWrites::kOn, LinkWrites::kOff, LinkWrites::kListed};

SettingLookup StoredSettings() {
    return [](const char* key) { return ReadConfigValue(k::kSection, key); };
}

QString Stored(const SettingLookup& stored, const char* key, const char* absent = "") {
    return QString::fromStdString(stored(key).value_or(absent));
}

// A list field: one entry per line, a few lines high.
QPlainTextEdit* ListEdit(QWidget* parent) {
    auto* edit = new QPlainTextEdit(parent);
    edit->setTabChangesFocus(true);
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 4 + 12);
    return edit;
}

QString OneEntryPerLine(const QString& text) {
    return text.split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts).join(QLatin1Char('\n'));
}

}  // namespace

CForwardingSettingsDlg::CForwardingSettingsDlg(QWidget* parent, const SettingLookup& stored,
                                               DialogMessageFunction message)
    : QDialog(parent),
      listen_(new QLineEdit(this)),
      port_(new QLineEdit(this)),
      allow_(ListEdit(this)),
      writes_(new QComboBox(this)),
      writers_(ListEdit(this)),
      maxPeers_(new QLineEdit(this)),
      message_(message ? std::move(message) : PlainMessageBox) {
    setWindowTitle(QString::fromUtf8(Tr("转发设置", "Forwarding Settings")));
    const SettingLookup& values = stored ? stored : StoredSettings();
    listen_->setPlaceholderText(QString::fromUtf8(Tr("所有 IPv4 地址", "every IPv4 address")));
    listen_->setText(Stored(values, k::kListen));
    port_->setText(Stored(values, k::kPort, "8890"));
    allow_->setPlaceholderText(QString::fromUtf8(Tr("空：所有对端", "empty: every peer")));
    allow_->setPlainText(OneEntryPerLine(Stored(values, k::kAllow)));
    writes_->addItem(QString::fromUtf8(Tr("所有对端可写入", "every peer may write")));
    writes_->addItem(QString::fromUtf8(Tr("禁止写入", "no writes")));
    writes_->addItem(QString::fromUtf8(Tr("仅下列对端可写入", "only the peers below may write")));
    const LinkWrites writes = LinkWritesFromName(values(k::kWrites).value_or("on")).value_or(LinkWrites::kOn);
    writes_->setCurrentIndex(static_cast<int>(std::find(std::begin(kWriteChoices), std::end(kWriteChoices), writes) -
                                              std::begin(kWriteChoices)));
    writers_->setPlainText(OneEntryPerLine(Stored(values, k::kWriteAllow)));
    maxPeers_->setPlaceholderText(QString::fromUtf8(Tr("0：不限", "0: no limit")));
    maxPeers_->setText(Stored(values, k::kMaxPeers, "0"));

    auto* form = new QFormLayout;
    form->addRow(FieldLabel(Tr("监听地址：", "Listen address:"), listen_, this), listen_);
    form->addRow(FieldLabel(Tr("端口：", "Port:"), port_, this), port_);
    form->addRow(
        FieldLabel(Tr("允许连接的对端 (地址或网段)：", "Peers that may connect (addresses or ranges):"), allow_, this),
        allow_);
    form->addRow(FieldLabel(Tr("链路写入：", "Writes over the link:"), writes_, this), writes_);
    form->addRow(FieldLabel(Tr("可写入的对端 (仅名单时)：", "Peers that may write (when listed):"), writers_, this),
                 writers_);
    form->addRow(FieldLabel(Tr("最多对端数：", "Most peers at once:"), maxPeers_, this), maxPeers_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(this));
    listen_->setFocus();
}

QWidget* CForwardingSettingsDlg::FieldOf(const std::string& key) const {
    if (key == k::kListen) return listen_;
    if (key == k::kAllow) return allow_;
    if (key == k::kWriteAllow) return writers_;
    return maxPeers_;
}

bool CForwardingSettingsDlg::CheckFields(const std::vector<SettingsProblem>& problems) {
    if (problems.empty()) return true;
    const SettingsProblem& first = problems.front();
    const QString value = QString::fromStdString(first.value);
    const QString text =
        first.key == k::kListen
            ? QString::fromUtf8(Tr("“%1” 不是 IP 地址；留空表示所有 IPv4 地址。",
                                   "\"%1\" is not an IP address; leave it empty for every IPv4 address."))
                  .arg(value)
            : QString::fromUtf8(Tr("“%1” 不是地址或 CIDR 网段 (例如 192.168.1.0/24)。",
                                   "\"%1\" is not an address or CIDR range (such as 192.168.1.0/24)."))
                  .arg(value);
    message_(this, text.toStdString());
    QWidget* field = FieldOf(first.key);
    field->setFocus();
    if (auto* edit = qobject_cast<QPlainTextEdit*>(field)) {
        // Select the entry, so that it can be typed over.
        QTextCursor found = edit->document()->find(value);
        if (!found.isNull()) edit->setTextCursor(found);
    } else if (auto* line = qobject_cast<QLineEdit*>(field)) {
        line->selectAll();
    }
    return false;
}

void CForwardingSettingsDlg::accept() {
    const std::optional<int> port = ReadIntegerField(*port_, 1, 65535, message_, this);
    if (!port) return;
    const std::optional<int> maxPeers = ReadIntegerField(*maxPeers_, 0, 100000, message_, this);
    if (!maxPeers) return;
    const std::string listen = listen_->text().trimmed().toStdString();
    const std::string allow = allow_->toPlainText().toStdString();
    const std::string writers = writers_->toPlainText().toStdString();
    const std::string writes = LinkWritesName(kWriteChoices[std::max(writes_->currentIndex(), 0)]);
    const std::string portText = std::to_string(*port);
    const std::string maxPeersText = std::to_string(*maxPeers);
    const ForwardingSettingsRead read = ParseForwardingSettings([&](const char* key) -> std::optional<std::string> {
        const std::string name = key;
        if (name == k::kListen) return listen;
        if (name == k::kPort) return portText;
        if (name == k::kAllow) return allow;
        if (name == k::kWrites) return writes;
        if (name == k::kWriteAllow) return writers;
        if (name == k::kMaxPeers) return maxPeersText;
        return std::nullopt;
    });
    if (!CheckFields(read.problems)) return;  // the dialog stays open
    settings_ = read.settings;
    QDialog::accept();
}

void RunForwardingSettingsDialog(QWidget* parent, const std::function<void(const ForwardingSettings&)>& apply,
                                 DialogMessageFunction message) {
    if (!message) message = PlainMessageBox;
    CForwardingSettingsDlg dialog(parent, {}, message);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!WriteForwardingSettings(dialog.Settings()))
        message(parent, Tr("无法写入 OPC.cfg，设置只在本次运行中有效。",
                           "OPC.cfg cannot be written; the settings hold for this run only."));
    if (apply) apply(dialog.Settings());
}
