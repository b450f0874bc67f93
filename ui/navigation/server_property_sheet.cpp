#include "ui/navigation/server_property_sheet.h"

#include "opc/client/server.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "ui/framework/dialog_parts.h"
#include "ui/framework/wait_cursor.h"
#include "ui/navigation/interface_table.h"
#include "ui/navigation/server_report.h"
#include "ui/resources/icons.h"
#include "platform/strings/language.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kMaxTextLength = 256;

}  // namespace

CVServerPropertySheet::CVServerPropertySheet(CVServer* server, QWidget* parent)
    : QDialog(parent), server_(server), pages_(new QTabWidget(this)) {
    setWindowTitle(TableText(IDS_SERVER_PROPERTIES));
    if (server_) {
        pages_->addTab(BuildStatusPage(), QString::fromUtf8(Tr("状态", "Status")));
        pages_->addTab(BuildInterfacesPage(), QString::fromUtf8(Tr("接口", "Interfaces")));
    } else {
        pages_->addTab(BuildGeneralPage(), QString::fromUtf8(Tr("通用", "General")));
    }
    QDialogButtonBox* buttons = OkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
    resize(440, 380);
}

QWidget* CVServerPropertySheet::BuildGeneralPage() {
    auto* page = new QWidget;
    registered_ = new QTreeWidget(page);
    registered_->setHeaderHidden(true);
    registered_->setIconSize(QSize(16, 16));
    registered_->setAccessibleName(QString::fromUtf8(Tr("注册的服务器", "Registered servers")));
    progId_ = new QLineEdit(TableText(IDS_DEFAULT_PROGID), page);
    progId_->setMaxLength(kMaxTextLength);
    remote_ = new QLineEdit(page);
    remote_->setMaxLength(kMaxTextLength);
    openingProgId_ = progId_->text();
    openingRemote_ = remote_->text();

    auto* progIdLabel = new QLabel(QString::fromUtf8("&Prog ID:"), page);
    progIdLabel->setBuddy(progId_);
    auto* remoteLabel = new QLabel(QString::fromUtf8(Tr("远程服务器名称:", "Remote computer:")), page);
    remoteLabel->setBuddy(remote_);
    auto* treeLabel = new QLabel(QString::fromUtf8(Tr("注册的服务器:", "Registered servers:")), page);
    treeLabel->setBuddy(registered_);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(treeLabel);
    layout->addWidget(registered_, 1);
    auto* form = new QFormLayout;
    form->addRow(progIdLabel, progId_);
    form->addRow(remoteLabel, remote_);
    layout->addLayout(form);

    FillRegisteredServers();
    connect(registered_, &QTreeWidget::currentItemChanged, this, [this] { OnRegisteredSelection(); });
    return page;
}

void CVServerPropertySheet::FillRegisteredServers() {
    WaitCursor cursor;
    const QIcon category = LoadIcon("server_category");
    const QIcon progId = LoadIcon("server_progid");
    for (const RegisteredServerGroup& group : RegisteredServers()) {
        auto* heading = new QTreeWidgetItem(registered_, {QString::fromStdString(group.heading)});
        heading->setIcon(0, category);
        for (const std::string& name : group.progIds) {
            auto* entry = new QTreeWidgetItem(heading, {QString::fromStdString(name)});
            entry->setIcon(0, progId);
        }
    }
}

void CVServerPropertySheet::OnRegisteredSelection() {
    QTreeWidgetItem* entry = registered_->currentItem();
    if (!entry || !entry->parent()) return;  // a heading changes nothing
    // The page's fields go back to their stored values, with the picked ProgID.
    remote_->setText(openingRemote_);
    progId_->setText(entry->text(0));
    registered_->scrollToItem(entry);
}

QWidget* CVServerPropertySheet::BuildStatusPage() {
    auto* page = new QWidget;
    status_ = new QPlainTextEdit(page);
    status_->setReadOnly(true);
    status_->setAccessibleName(QString::fromUtf8(Tr("状态", "Status")));
    status_->setTabStopDistance(status_->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);
    QString report = QString::fromStdString(ServerStatusReport(*server_));
    report.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    status_->setPlainText(report);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(status_);
    return page;
}

QWidget* CVServerPropertySheet::BuildInterfacesPage() {
    return MakeInterfacesPage(InterfaceRows(*server_), &interfaces_);
}

CVServer* CVServerPropertySheet::CreateServer() const {
    auto* server = new CVServer;
    server->SetTargetAndConnect(progId_->text().toStdString(), remote_->text().toStdString());
    return server;
}

int CVServerPropertySheet::DoModal() {
    const int result = exec();
    if (server_) return QDialog::Rejected;  // nothing of an existing server changes here
    if (result != QDialog::Accepted) return result;
    server_ = CreateServer();
    return QDialog::Accepted;
}

CVServer* RunServerPropertySheet(QWidget* parent, CVServer* server) {
    CVServerPropertySheet sheet(server, parent);
    const int result = sheet.DoModal();
    return !server && result == QDialog::Accepted ? sheet.Server() : nullptr;
}
