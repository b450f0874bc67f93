#include "ui/forwarding/gateway_status_window.h"

#include "platform/strings/language.h"
#include "ui/framework/dialog_parts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString UiText(const char* text) { return QString::fromUtf8(text); }
QString FromStd(const std::string& text) { return QString::fromStdString(text); }
QString Rate(double perSecond) { return QString::number(perSecond, 'f', 1); }

// A figure's value beside its caption; a screen reader reads both.
QLabel* FigureRow(QFormLayout* form, const QString& caption, QWidget* parent) {
    auto* value = new QLabel(QStringLiteral("0"), parent);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setAccessibleName(caption);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(value);
    form->addRow(label, value);
    return value;
}

QTableWidget* Table(const QStringList& headers, const QString& name, QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->setAccessibleName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    // Each column as wide as its header and cells (addresses, times, errors), the last filling
    // what is left.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

void SetRow(QTableWidget* table, int row, const QStringList& cells) {
    for (int column = 0; column < cells.size(); ++column) {
        QTableWidgetItem* item = table->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            table->setItem(row, column, item);
        }
        if (item->text() != cells[column]) item->setText(cells[column]);
    }
}

}  // namespace

CGatewayStatusWindow::CGatewayStatusWindow(QWidget* parent, DataServerSource dataServer, ServerSource servers)
    : QDialog(parent), dataServer_(std::move(dataServer)), serverList_(std::move(servers)), timer_(new QTimer(this)) {
    setWindowTitle(UiText(Tr("网关状态", "Gateway Status")));
    auto* figures = new QFormLayout;
    peerCount_ = FigureRow(figures, UiText(Tr("已连接的对端：", "Peers connected:")), this);
    requestRate_ = FigureRow(figures, UiText(Tr("请求/秒：", "Requests per second:")), this);
    writeRate_ = FigureRow(figures, UiText(Tr("写入/秒：", "Writes per second:")), this);
    refusedPeers_ = FigureRow(figures, UiText(Tr("拒绝的对端：", "Refused peers:")), this);
    refusedWrites_ = FigureRow(figures, UiText(Tr("拒绝的写入：", "Refused writes:")), this);
    peers_ = Table({UiText(Tr("对端地址", "Peer address")), UiText(Tr("连接时间", "Connected since"))},
                   UiText(Tr("已连接的对端", "Connected peers")), this);
    servers_ = Table({UiText(Tr("服务器", "Server")), UiText(Tr("连接时间", "Connected since")),
                      UiText(Tr("更新/秒", "Updates/s")), UiText(Tr("重新连接", "Reconnects")),
                      UiText(Tr("最后错误", "Last error")), UiText(Tr("错误时间", "Error time"))},
                     UiText(Tr("服务器", "Servers")), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(UiText(Tr("关闭", "Close")));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(figures);
    layout->addWidget(FieldLabel(Tr("对端：", "Peers:"), peers_, this));
    layout->addWidget(peers_, 1);
    layout->addWidget(FieldLabel(Tr("服务器：", "Servers:"), servers_, this));
    layout->addWidget(servers_, 1);
    layout->addWidget(buttons);
    resize(720, 480);

    connect(timer_, &QTimer::timeout, this, [this] { Refresh(); });
}

void CGatewayStatusWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Refresh();
    timer_->start(kRefreshMs);
}

void CGatewayStatusWindow::hideEvent(QHideEvent* event) {
    timer_->stop();  // nothing to show: the counters go on by themselves
    QDialog::hideEvent(event);
}

void CGatewayStatusWindow::Refresh() {
    const std::optional<std::vector<const CVServer*>> servers = serverList_ ? serverList_() : std::nullopt;
    const bool serversStable = servers.has_value();
    std::vector<ServerStatus> keptServers = shown_.servers;
    shown_ = sampler_.Sample(dataServer_ ? dataServer_() : nullptr, servers.value_or(std::vector<const CVServer*>{}),
                             GatewayStatusSampler::Clock::now());
    if (!serversStable) shown_.servers = std::move(keptServers);  // the document is busy: keep what was shown

    peerCount_->setText(QString::number(shown_.peers.size()));
    requestRate_->setText(Rate(shown_.requestsPerSecond));
    writeRate_->setText(Rate(shown_.writesPerSecond));
    refusedPeers_->setText(QString::number(shown_.refusedPeers));
    refusedWrites_->setText(QString::number(shown_.refusedWrites));
    ShowPeers();
    ShowServers();
}

void CGatewayStatusWindow::ShowPeers() {
    const bool resized = peers_->rowCount() != static_cast<int>(shown_.peers.size());
    peers_->setRowCount(static_cast<int>(shown_.peers.size()));
    for (int row = 0; row < static_cast<int>(shown_.peers.size()); ++row) {
        const CDataServer::PeerInfo& peer = shown_.peers[static_cast<std::size_t>(row)];
        SetRow(peers_, row, {FromStd(peer.address), FromStd(FormatStatusTime(peer.connectedSinceMs))});
    }
    if (resized) peers_->resizeColumnsToContents();
}

void CGatewayStatusWindow::ShowServers() {
    const bool resized = servers_->rowCount() != static_cast<int>(shown_.servers.size());
    servers_->setRowCount(static_cast<int>(shown_.servers.size()));
    for (int row = 0; row < static_cast<int>(shown_.servers.size()); ++row) {
        const ServerStatus& s = shown_.servers[static_cast<std::size_t>(row)];
        SetRow(
            servers_, row,
            {FromStd(s.name),
             s.connectedSinceMs ? FromStd(FormatStatusTime(s.connectedSinceMs)) : UiText(Tr("未连接", "not connected")),
             Rate(s.updatesPerSecond), QString::number(s.reconnects), FromStd(s.lastError),
             FromStd(FormatStatusTime(s.lastErrorMs))});
    }
    if (resized) servers_->resizeColumnsToContents();
}
