#include "ui/mainframe/opc_command_rules.h"

#include "opc/client/group.h"
#include "opc/client/server.h"
#include "platform/strings/command_ids.h"
#include "simserver/server_registry.h"
#include "ui/framework/command_rules.h"

#include <gtest/gtest.h>

namespace {

class OpcCommandRules : public ::testing::Test {
protected:
    static void SetUpTestSuite() { simserver::RegisterSimulationServers(); }

    bool Enabled(unsigned id) const { return rules.IsEnabled(id, context); }

    CommandRules rules;
    CommandContext context;
};

}  // namespace

TEST_F(OpcCommandRules, ServerCommandsFollowTheConnection) {
    AddOpcCommandRules(rules);
    CVServer server;
    context.currentServer = &server;
    EXPECT_TRUE(Enabled(ID_CONNECT));
    EXPECT_FALSE(Enabled(ID_DISCONNECT));
    EXPECT_FALSE(Enabled(ID_ENUMERATE_GROUPS));

    ASSERT_TRUE(server.Connect());
    EXPECT_FALSE(Enabled(ID_CONNECT));
    for (unsigned id : {ID_DISCONNECT, ID_RECONNECT, ID_SERVER_ERROR_STRING, ID_GROUP_BY_NAME, ID_ENUMERATE_GROUPS})
        EXPECT_TRUE(Enabled(id)) << id;

    context.busy = true;
    EXPECT_FALSE(Enabled(ID_DISCONNECT));
    context.busy = false;
    context.currentServer = nullptr;
    EXPECT_FALSE(Enabled(ID_CONNECT));
    EXPECT_FALSE(Enabled(ID_DISCONNECT));
}

TEST_F(OpcCommandRules, ItemCommandsFollowTheGroupsInterfacesAndUpdateMethod) {
    AddOpcCommandRules(rules);
    const unsigned async10[] = {ID_ASYNC10_READ_CACHE, ID_ASYNC10_READ_DEVICE, ID_ASYNC10_REFRESH_CACHE,
                                ID_ASYNC10_REFRESH_DEVICE, ID_ASYNC10_WRITE};
    const unsigned async20[] = {ID_ASYNC20_READ, ID_ASYNC20_REFRESH_CACHE, ID_ASYNC20_REFRESH_DEVICE, ID_ASYNC20_WRITE};
    const unsigned common[] = {ID_SET_ACTIVE, ID_SET_INACTIVE, ID_SYNC_READ_CACHE, ID_SYNC_READ_DEVICE, ID_SYNC_WRITE};

    const struct {
        const char* progId;
        bool expect20;  // the group ends up with 2.0 updates
    } cases[] = {{"Orvane OPC", true}, {"Orvane.Sim10", false}};
    for (const auto& c : cases) {
        CVServer server;
        server.progId = c.progId;
        ASSERT_TRUE(server.Connect()) << c.progId;
        auto* group = new CVGroup(&server);
        server.AddGroup(group, false);
        context.currentGroup = group;

        context.selectedItems = 0;
        for (unsigned id : common) EXPECT_FALSE(Enabled(id)) << id;

        context.selectedItems = 2;
        for (unsigned id : common) EXPECT_TRUE(Enabled(id)) << c.progId << " " << id;
        for (unsigned id : async10) EXPECT_EQ(Enabled(id), !c.expect20) << c.progId << " " << id;
        for (unsigned id : async20) EXPECT_EQ(Enabled(id), c.expect20) << c.progId << " " << id;
        EXPECT_TRUE(Enabled(ID_CLONE_GROUP));

        server.Disconnect();  // the group leaves the server and drops its interfaces
        for (unsigned id : common) EXPECT_FALSE(Enabled(id)) << id;
        EXPECT_FALSE(Enabled(ID_CLONE_GROUP));
        context.currentGroup = nullptr;
    }
}
