// The server property sheet: the registered servers under their headings, picking a ProgID,
// creating and connecting a new server, and the status and interfaces of an existing one.
#include "opc/client/server.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"
#include "simserver/server_registry.h"
#include "ui/navigation/server_property_sheet.h"
#include "ui/navigation/server_report.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

bool Lists(const RegisteredServerGroup& group, const std::string& progId) {
    return std::find(group.progIds.begin(), group.progIds.end(), progId) != group.progIds.end();
}

class ServerSheet : public ::testing::Test {
protected:
    void SetUp() override { simserver::RegisterSimulationServers(); }
};

}  // namespace

TEST_F(ServerSheet, RegisteredServersAreListedUnderTheirThreeHeadings) {
    const std::vector<RegisteredServerGroup> groups = RegisteredServers();
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_EQ(groups[0].heading, "OPC Data Access Servers Version 1.0");
    EXPECT_EQ(groups[1].heading, "OPC Data Access Servers Version 2.0");
    EXPECT_EQ(groups[2].heading, "OPC General");
    // A server of both versions is under both; every simulation server also has the older key.
    EXPECT_TRUE(Lists(groups[0], "Orvane OPC"));
    EXPECT_TRUE(Lists(groups[1], "Orvane OPC"));
    EXPECT_TRUE(Lists(groups[2], "Orvane OPC"));
    EXPECT_TRUE(Lists(groups[0], "Orvane.Sim10"));
    EXPECT_FALSE(Lists(groups[1], "Orvane.Sim10"));  // a 1.0-only server
}

TEST_F(ServerSheet, TheGeneralPagePicksAProgIdFromTheTree) {
    CVServerPropertySheet sheet(nullptr);
    ASSERT_EQ(sheet.Pages()->count(), 1);
    EXPECT_EQ(sheet.Pages()->tabText(0), QString::fromUtf8("通用"));
    EXPECT_EQ(sheet.windowTitle(), QString::fromUtf8("服务器属性"));
    EXPECT_EQ(sheet.ProgIdEdit()->text(), QString::fromUtf8("Orvane OPC"));
    EXPECT_TRUE(sheet.RemoteComputerEdit()->text().isEmpty());
    EXPECT_EQ(sheet.ProgIdEdit()->maxLength(), 256);

    QTreeWidget* tree = sheet.RegisteredTree();
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    sheet.ProgIdEdit()->setText("Typed.Name");
    tree->setCurrentItem(tree->topLevelItem(1));  // a heading changes nothing
    EXPECT_EQ(sheet.ProgIdEdit()->text(), "Typed.Name");
    QTreeWidgetItem* heading = tree->topLevelItem(0);
    ASSERT_GT(heading->childCount(), 0);
    tree->setCurrentItem(heading->child(0));
    EXPECT_EQ(sheet.ProgIdEdit()->text(), heading->child(0)->text(0));
}

TEST_F(ServerSheet, OkOnANewServerCreatesAndConnectsIt) {
    CVServerPropertySheet sheet(nullptr);
    std::unique_ptr<CVServer> server(sheet.CreateServer());
    EXPECT_EQ(server->progId, "Orvane OPC");
    EXPECT_TRUE(server->remoteComputer.empty());
    EXPECT_TRUE(server->IsConnected());
    server->Disconnect();
}

TEST_F(ServerSheet, AConnectedServerShowsItsStatusAndInterfaces) {
    CVServer server;
    ASSERT_TRUE(server.SetTargetAndConnect("Orvane OPC", ""));
    CVServerPropertySheet sheet(&server);
    ASSERT_EQ(sheet.Pages()->count(), 2);
    EXPECT_EQ(sheet.Pages()->tabText(0), QString::fromUtf8("状态"));
    EXPECT_EQ(sheet.Pages()->tabText(1), QString::fromUtf8("接口"));

    const std::string report = ServerStatusReport(server);
    EXPECT_EQ(report.rfind("ProgID:\t\t\tOrvane OPC\r\n", 0), 0u) << report;
    for (const char* part : {"卖主:\t\t\t", "开始时间:\t\t", "当前时间:\t\t", "最近更新时间:\t", "服务状态:\t\t运行\r\n",
                             "组数:\t\t0\r\n", "大版本号:\t\t", "小版本号:\t\t", "生成号:\t\t"})
        EXPECT_NE(report.find(part), std::string::npos) << part << " in " << report;
    EXPECT_EQ(report.find(std::string(LoadString(IDS_STATE_UNKNOWN))), std::string::npos);

    QTableWidget* table = sheet.InterfaceTable();
    ASSERT_EQ(table->rowCount(), 7);
    EXPECT_EQ(table->horizontalHeaderItem(0)->text(), QString::fromUtf8("接口"));
    EXPECT_EQ(table->item(0, 0)->text(), "IOPCServer");
    EXPECT_EQ(table->item(0, 1)->text(), QString::fromUtf8("是"));
    EXPECT_EQ(table->item(0, 2)->text(), QString::fromUtf8("是"));
    EXPECT_EQ(table->item(6, 0)->text(), "IConnectionPointContainer (2.0 only)");
    server.Disconnect();
}

TEST_F(ServerSheet, AServerThatIsNotConnectedCannotTellItsState) {
    CVServer server;
    server.progId = "Orvane OPC";
    server.remoteComputer = "plant-7";
    EXPECT_EQ(ServerStatusReport(server), "ProgID:\t\t\tOrvane OPC\r\n远程计算机:\tplant-7\r\n无法判定状态");
    for (const InterfaceRow& row : InterfaceRows(server)) EXPECT_FALSE(row.supported) << row.name;
    CVServerPropertySheet sheet(&server);
    EXPECT_TRUE(sheet.StatusText()->toPlainText().endsWith(QString::fromUtf8("无法判定状态")));
}
