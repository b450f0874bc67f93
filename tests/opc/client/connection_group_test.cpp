// Groups against the simulation server: subscriptions in each data-change mode and the
// fallback to 1.0, adding, removing and (de)activating items, the quality check and clone.
#include "connection_support.h"

#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "platform/com/variant.h"
#include "simserver/server_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using simserver::kDa10ProgId;
using simserver::kDefaultProgId;

class GroupOnServer : public ::testing::Test {
protected:
    void SetUp() override {
        simserver::RegisterSimulationServers();
        ASSERT_TRUE(server.Connect());
        recorder.Clear();
    }

    CVGroup* NewGroup(const std::string& name, DWORD mode = kDataChangeMode20) {
        auto* group = new CVGroup(&server);
        group->SetName(name);
        group->SetDataChangeMode(mode);
        server.AddGroup(group, false);
        return group;
    }

    std::vector<CVItem*> AddItems(CVGroup* group, const std::vector<std::string>& ids, BOOL active = TRUE) {
        std::vector<CVItem*> items;
        for (const std::string& id : ids) {
            auto* item = new CVItem(group);
            item->itemId = id;
            item->active = active;
            items.push_back(item);
        }
        group->AddItems(items.data(), static_cast<int>(items.size()), false);
        return items;
    }

    EventRecorder recorder;
    CVServer server;
};

struct ModeCase {
    const char* name;
    DWORD mode;
    bool timestamps;
};

class Subscriptions : public GroupOnServer, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(Subscriptions, ValuesArriveInEachDataChangeMode) {
    const ModeCase& c = GetParam();
    CVGroup* group = NewGroup("Live", c.mode);
    CVItem* item = AddItems(group, {"Ramp.I4"})[0];

    EXPECT_EQ(group->DataChangeMode(), c.mode);
    EXPECT_EQ(group->DataConnection() != 0, c.mode != kDataChangeMode20);
    EXPECT_EQ(group->WriteConnection() != 0, c.mode != kDataChangeMode20);
    ASSERT_TRUE(WaitUntil([&] { return item->GetUpdateCount() >= 2 && item->IsGood(); }));
    // Every value delivered counts for the server's updates per second.
    EXPECT_GE(server.Statistics().Updates(), 2u);
    std::string stamp;
    item->FormatTimestamp(stamp);
    EXPECT_EQ(stamp != "N/A", c.timestamps) << stamp;
    EXPECT_EQ(item->ShownType(), VT_I4);
}

INSTANTIATE_TEST_SUITE_P(Group, Subscriptions,
                         ::testing::Values(ModeCase{"Stream10Data", kDataChangeMode10Data, false},
                                           ModeCase{"Stream10DataTime", kDataChangeMode10DataTime, true},
                                           ModeCase{"Callback20", kDataChangeMode20, true}),
                         [](const auto& info) { return info.param.name; });

TEST_F(GroupOnServer, TwoDimensionalArraysArriveAsTheServerHoldsThemInEveryMode) {
    for (DWORD mode : {kDataChangeMode10Data, kDataChangeMode20}) {
        SCOPED_TRACE(mode);
        CVGroup* group = NewGroup("Rows" + std::to_string(mode), mode);
        CVItem* item = AddItems(group, {"Array2D.R8"})[0];  // 3 rows of 4
        ASSERT_TRUE(WaitUntil([&] { return item->GetUpdateCount() > 0; }));
        std::string text;
        item->FormatValue(text);
        EXPECT_EQ(std::count(text.begin(), text.end(), '['), 3) << text;
        EXPECT_EQ(std::count(text.begin(), text.end(), ','), 3 * 3) << text;
    }
}

TEST_F(GroupOnServer, GroupNamedByTheServerTakesItsState) {
    CVGroup* group = NewGroup("");
    EXPECT_TRUE(group->onServer);
    EXPECT_FALSE(group->Name().empty());
    EXPECT_NE(group->serverGroupHandle, 0u);
    EXPECT_TRUE(group->GroupStateMgt() && group->ItemMgt() && group->SyncIO() && group->AsyncIO() &&
                group->DataObject() && group->AsyncIO2() && group->ConnectionPointContainer());
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{Msg(15001, "", kDefaultProgId)});
}

TEST_F(GroupOnServer, RevisedUpdateRateReplacesTheRequestedOne) {
    auto* group = new CVGroup(&server);
    group->updateRate = 1;
    server.AddGroup(group, false);
    EXPECT_GT(group->updateRate, 1u);
}

class FallbackTo10 : public ::testing::Test {
protected:
    void SetUp() override { simserver::RegisterSimulationServers(); }
    EventRecorder recorder;
};

TEST_F(FallbackTo10, GroupWithoutConnectionPointsFallsBackToTheTimedStream) {
    CVServer server;
    server.progId = kDa10ProgId;
    ASSERT_TRUE(server.Connect());
    auto* group = new CVGroup(&server);
    group->SetName("Old");
    server.AddGroup(group, false);

    EXPECT_EQ(recorder.CountOf(Msg(16013, "Old", kDa10ProgId, Hex(E_FAIL))), 1);
    EXPECT_EQ(group->DataChangeMode(), kDataChangeMode10DataTime);
    EXPECT_NE(group->DataConnection(), 0u);
    EXPECT_NE(group->WriteConnection(), 0u);

    auto* item = new CVItem(group);
    item->itemId = "Ramp.R8";
    item->active = TRUE;
    group->AddItems(&item, 1, false);
    ASSERT_TRUE(WaitUntil([&] { return item->GetUpdateCount() >= 1 && item->IsGood(); }));
    std::string stamp;
    item->FormatTimestamp(stamp);
    EXPECT_NE(stamp, "N/A");

    // Reconnecting keeps the saved mode: no second fallback.
    recorder.Clear();
    ASSERT_TRUE(server.ConnectWithGroups());
    EXPECT_EQ(recorder.CountOf(Msg(16013, "Old", kDa10ProgId, Hex(E_FAIL))), 0);
}

TEST_F(GroupOnServer, AddItemsReportsEachFailedItemWithItsError) {
    CVGroup* group = NewGroup("Mixed");
    recorder.Clear();
    std::vector<CVItem*> items = AddItems(group, {"Ramp.I4", "No.Such.Item", "Writable.R8", ""});

    EXPECT_EQ(recorder.Events(),
              (std::vector<std::string>{Msg(16006, "No.Such.Item", "Mixed", Hex(OPC_E_UNKNOWNITEMID)),
                                        Msg(16006, "", "Mixed", Hex(OPC_E_INVALIDITEMID)), Msg(15006, 2, "Mixed")}));
    EXPECT_EQ(std::string(server.Statistics().LastErrorRecord().text),
              Msg(16006, "", "Mixed", Hex(OPC_E_INVALIDITEMID)))
        << "a group's failure is its server's last error";
    EXPECT_EQ(group->ItemCount(), 4u) << "failed items keep their place";
    EXPECT_EQ(recorder.ItemCount(), 4);

    EXPECT_TRUE(items[0]->added);
    EXPECT_EQ(items[0]->DataType(), VT_I4);
    EXPECT_EQ(items[0]->accessRights, OPC_READABLE);
    EXPECT_TRUE(items[2]->added);
    EXPECT_EQ(items[2]->accessRights, OPC_READABLE | OPC_WRITEABLE);
    for (CVItem* failed : {items[1], items[3]}) {
        EXPECT_FALSE(failed->added);
        EXPECT_EQ(failed->serverHandle, 0u);
        EXPECT_EQ(failed->GetQuality(), OPC_QUALITY_OUT_OF_SERVICE);
    }
}

TEST_F(GroupOnServer, AddItemsRequestsTheTypeOfTheCurrentValueElseTheDataType) {
    CVGroup* group = NewGroup("Types");
    auto* asDouble = new CVItem(group);
    asDouble->itemId = "Writable.I4";
    asDouble->active = TRUE;
    asDouble->SetDataType(VT_R8);
    auto* asText = new CVItem(group);
    asText->itemId = "Writable.I2";
    asText->active = TRUE;
    asText->SetDataType(VT_R8);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = nullptr;                    // a null BSTR is the empty string
    asText->SetValue(text, OPC_QUALITY_GOOD);  // the current value's type wins

    CVItem* items[] = {asDouble, asText};
    group->AddItems(items, 2, false);
    ASSERT_TRUE(asDouble->added && asText->added);
    EXPECT_EQ(asDouble->DataType(), VT_I4) << "the canonical type replaces the requested one";
    EXPECT_EQ(asText->DataType(), VT_I2);
    ASSERT_TRUE(WaitUntil([&] { return asDouble->ShownType() == VT_R8; }));
    ASSERT_TRUE(WaitUntil([&] { return asText->ShownType() == VT_BSTR && asText->GetUpdateCount() > 1; }));
}

TEST_F(GroupOnServer, AddItemsNeedsAConnectionAndTheItemInterface) {
    // A group that is listed but was never put on the server has no interfaces.
    auto* offServer = new CVGroup(&server);
    offServer->SetName("Listed");
    server.LinkGroup(offServer);
    AddItems(offServer, {"Ramp.I4"});
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{Msg(16010, "Listed")});

    CVGroup* group = NewGroup("Later");
    server.Disconnect();
    recorder.Clear();
    AddItems(group, {"Ramp.I4", "Ramp.I2"});
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{Msg(16007, "Later")});
    EXPECT_EQ(group->ItemCount(), 2u);

    recorder.Clear();
    ASSERT_TRUE(server.ConnectWithGroups());
    EXPECT_EQ(recorder.CountOf(Msg(15006, 2, "Later")), 1) << "a later connect adds them";
}

TEST_F(GroupOnServer, RemoveItemsDeletesOrResetsAndCountsFailures) {
    CVGroup* group = NewGroup("Trim");
    std::vector<CVItem*> items = AddItems(group, {"Ramp.I1", "Ramp.I2", "Ramp.I4", "Ramp.R4"});
    ASSERT_EQ(recorder.ItemCount(), 4);
    recorder.Clear();

    CVItem* toDelete[] = {items[0], items[1]};
    group->RemoveItems(toDelete, 2, true);
    EXPECT_EQ(group->ItemCount(), 2u);
    EXPECT_EQ(recorder.ItemCount(), 2);
    EXPECT_EQ(group->FirstItem(), items[3]);
    EXPECT_EQ(items[3]->next, items[2]);
    EXPECT_EQ(items[2]->next, nullptr);

    CVItem* toReset = items[2];
    group->RemoveItems(&toReset, 1, false);
    EXPECT_FALSE(toReset->added);
    EXPECT_EQ(toReset->GetUpdateCount(), 0u);
    EXPECT_EQ(group->ItemCount(), 2u);

    // An item the server does not know any more fails; one not added does not count.
    items[3]->serverHandle = 0xDEAD0001;
    CVItem* both[] = {items[3], toReset};
    group->RemoveItems(both, 2, false);
    EXPECT_EQ(recorder.Events(),
              (std::vector<std::string>{Msg(15005, 2, "Trim"), Msg(15005, 1, "Trim"), Msg(16005, 1, 2, "Trim")}));
}

TEST_F(GroupOnServer, DisconnectTakesItemsOffTheServerWithoutCountingFailures) {
    CVGroup* group = NewGroup("Leaving");
    std::vector<CVItem*> items = AddItems(group, {"Ramp.I1", "Ramp.I2"});
    items[0]->serverHandle = 0xDEAD0001;  // the server no longer knows this one
    recorder.Clear();
    server.Disconnect();
    const std::vector<std::string> events = recorder.Events();
    EXPECT_NE(std::find(events.begin(), events.end(), Msg(15005, 2, "Leaving")), events.end());
    for (const std::string& event : events) EXPECT_EQ(event.find("Failed to remove"), std::string::npos) << event;
    for (CVItem* item : items) EXPECT_FALSE(item->added);
}

TEST_F(GroupOnServer, RemoveItemsWithoutConnectionOnlyDeletes) {
    CVGroup* group = NewGroup("Offline");
    std::vector<CVItem*> items = AddItems(group, {"Ramp.I1", "Ramp.I2"});
    server.Disconnect();
    recorder.Clear();
    group->RemoveItems(&items[0], 1, true);
    EXPECT_EQ(group->ItemCount(), 1u);
    EXPECT_TRUE(recorder.Events().empty());
}

TEST_F(GroupOnServer, SetItemsActiveReportsChangesAndFailures) {
    CVGroup* group = NewGroup("Switch");
    std::vector<CVItem*> items = AddItems(group, {"Ramp.I4", "Ramp.R8"});
    recorder.Clear();

    struct Step {
        bool activate;
        bool changed;
        std::vector<std::string> events;
    };
    const Step steps[] = {
        {false, true, {Msg(15013, 0, 2, "Switch")}},
        {false, false, {}},  // the state they already have: nothing
        {true, true, {Msg(15013, 1, 2, "Switch")}},
    };
    for (const Step& step : steps) {
        recorder.Clear();
        EXPECT_EQ(group->SetItemsActive(items.data(), 2, step.activate), step.changed);
        EXPECT_EQ(recorder.Events(), step.events);
        for (CVItem* item : items) EXPECT_EQ(item->active, step.activate ? TRUE : FALSE);
    }

    recorder.Clear();
    items[1]->serverHandle = 0xDEAD0002;
    EXPECT_TRUE(group->SetItemsActive(items.data(), 2, false));
    EXPECT_EQ(recorder.Events(), (std::vector<std::string>{Msg(16016, 0, "Ramp.R8", "Switch", Hex(OPC_E_INVALIDHANDLE)),
                                                           Msg(15013, 0, 1, "Switch")}));
    EXPECT_EQ(items[1]->active, TRUE);

    server.Disconnect();
    recorder.Clear();
    EXPECT_FALSE(group->SetItemsActive(items.data(), 2, true));
    EXPECT_TRUE(recorder.Events().empty());
}

TEST_F(GroupOnServer, HasItemNotGoodByQuality) {
    auto* group = new CVGroup(&server);
    group->active = FALSE;  // no deliveries overwrite the qualities set below
    server.AddGroup(group, false);
    CVItem* item = AddItems(group, {"Ramp.I4"})[0];
    ASSERT_TRUE(item->added);

    struct Case {
        WORD quality;
        bool notGood;
    };
    const Case cases[] = {{0xC0, false}, {0xC3, false}, {0xD8, true},  {0x40, true},
                          {0x1C, true},  {0x00, true},  {0x1C0, false}};
    VARIANT value;
    VariantInit(&value);
    for (const Case& c : cases) {
        item->SetValue(value, c.quality);
        EXPECT_EQ(group->HasItemNotGood(), c.notGood) << std::hex << c.quality;
    }
    item->SetValue(value, 0x00);
    item->added = FALSE;  // items not on the server are not asked about
    EXPECT_FALSE(group->HasItemNotGood());
}

TEST_F(GroupOnServer, CheckThreadRefreshesOnlyAGroupWithAnItemNotGood) {
    CVGroup* good = NewGroup("AllGood", kDataChangeMode10DataTime);
    CVItem* goodItem = AddItems(good, {"Quality.Good"})[0];
    CVGroup* overridden = NewGroup("Override", kDataChangeMode10DataTime);
    AddItems(overridden, {"Quality.LocalOverride"});
    ASSERT_TRUE(WaitUntil([&] { return goodItem->IsGood(); }));

    good->SetCheckPeriodForTests(std::chrono::milliseconds(20));
    overridden->SetCheckPeriodForTests(std::chrono::milliseconds(20));
    const std::string refreshed = "Asynchronous 1.0 refresh transaction ";
    ASSERT_TRUE(recorder.WaitForMatching(refreshed, " from cache initiated on group 'Override'.", 3));
    EXPECT_EQ(recorder.CountMatching(refreshed, " from cache initiated on group 'AllGood'."), 0);
}

TEST_F(GroupOnServer, CloneCopiesTheGroupWithItsItems) {
    CVGroup* source = NewGroup("Source");
    std::vector<CVItem*> items = AddItems(source, {"Ramp.I4", "Writable.R8", "Text.Static"});
    recorder.Clear();

    CVGroup* clone = source->Clone(CItemAddressRegistry::Instance());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(server.GroupCount(), 2);
    EXPECT_EQ(server.FirstGroup(), clone);
    EXPECT_TRUE(clone->onServer);
    EXPECT_FALSE(clone->Name().empty());
    EXPECT_NE(clone->Name(), "Source");
    EXPECT_NE(clone->serverGroupHandle, source->serverGroupHandle);
    EXPECT_EQ(clone->ItemCount(), 3u);
    EXPECT_EQ(recorder.Events(),
              std::vector<std::string>{Msg(15025, clone->Name().c_str(), "Source", 3, kDefaultProgId)});

    std::vector<std::string> ids;
    for (CVItem* item = clone->FirstItem(); item; item = item->next) {
        EXPECT_TRUE(item->added);
        EXPECT_NE(item->serverHandle, 0u);
        EXPECT_EQ(item->group, clone);
        EXPECT_NE(CItemAddressRegistry::Instance().AddressOf(item->itemId), -1);
        ids.push_back(item->itemId);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{"Ramp.I4", "Text.Static", "Writable.R8"}));

    // A clone starts inactive. Once active, the server's deliveries name the clone and its
    // items by their own client handles, so the clone's items fill and the source's do not
    // depend on them.
    BOOL active = TRUE;
    DWORD revisedRate = 0;
    ASSERT_TRUE(SUCCEEDED(
        clone->GroupStateMgt()->SetState(nullptr, &revisedRate, &active, nullptr, nullptr, nullptr, nullptr)));
    for (CVItem* item = clone->FirstItem(); item; item = item->next)
        EXPECT_TRUE(WaitUntil([&] { return item->GetUpdateCount() >= 1 && item->IsGood(); })) << item->itemId;
    for (CVItem* item : items) EXPECT_EQ(item->group, source);
}

TEST_F(GroupOnServer, CloneOfAGroupOffTheServerFails) {
    auto* listed = new CVGroup(&server);
    listed->SetName("Listed");
    server.LinkGroup(listed);
    EXPECT_EQ(listed->Clone(CItemAddressRegistry::Instance()), nullptr);
    EXPECT_EQ(recorder.Events(), std::vector<std::string>{Msg(16026, "Listed", kDefaultProgId, Hex(E_NOINTERFACE))});
    EXPECT_EQ(server.GroupCount(), 1);
}

}  // namespace
