#include "ui/forwarding/tcp_client_set_dlg.h"

#include "platform/strings/language.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CTcpClientSetDlg::CTcpClientSetDlg(const TcpClientSettings& settings, QWidget* parent, DialogMessageFunction message)
    : QDialog(parent),
      host_(new QLineEdit(this)),
      port_(new QLineEdit(this)),
      message_(message ? std::move(message) : PlainMessageBox),
      settings_(settings) {
    setWindowTitle(QString::fromUtf8(Tr("Tcp客户端设置", "TCP Client Settings")));
    host_->setMaxLength(static_cast<int>(TcpClientSettings::kMaxHostLength));
    host_->setMinimumWidth(host_->fontMetrics().horizontalAdvance(QString(36, QLatin1Char('n'))));  // a host name fits
    host_->setText(QString::fromStdString(settings.host));
    port_->setText(QString::number(settings.port));

    auto* form = new QFormLayout;
    form->addRow(FieldLabel(Tr("主机IP：", "Host IP:"), host_, this), host_);
    form->addRow(FieldLabel(Tr("端口号：", "Port:"), port_, this), port_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(OkCancelButtons(this));
    host_->setFocus();
}

void CTcpClientSetDlg::accept() {
    const std::optional<int> port = ReadIntegerField(*port_, 0, kMaxPort, message_, this);
    if (!port) return;  // the dialog stays open
    settings_.host = host_->text().trimmed().toStdString();
    settings_.port = static_cast<std::uint32_t>(*port);
    QDialog::accept();
}

void RunTcpClientSetDialog(QWidget* parent, CTcpClientLink& link, DialogMessageFunction message) {
    CTcpClientSetDlg dialog(link.Settings(), parent, std::move(message));
    if (dialog.exec() != QDialog::Accepted) return;
    link.SetSettings(dialog.Settings());
    link.Start();
}
