// IOPCItemProperties of the simulation server.
#include <cmath>

#include "platform/com/filetime.h"
#include "platform/com/safearray.h"
#include "platform/com/variant.h"
#include "server_test_support.h"
#include "simserver/sim_time.h"

namespace simserver::test {
namespace {

struct Available {
    HRESULT hr = E_FAIL;
    std::vector<DWORD> ids;
    std::vector<std::string> descriptions;
    std::vector<VARTYPE> types;
};

Available Query(IOPCItemProperties* p, const char16_t* itemId) {
    Available a;
    DWORD count = 0;
    DWORD* ids = nullptr;
    LPWSTR* descriptions = nullptr;
    VARTYPE* types = nullptr;
    std::u16string id = itemId ? itemId : u"";
    a.hr = p->QueryAvailableProperties(itemId ? id.data() : nullptr, &count, &ids, &descriptions, &types);
    for (DWORD i = 0; i < count; ++i) {
        a.ids.push_back(ids[i]);
        a.descriptions.push_back(TakeString(descriptions[i]));
        a.types.push_back(types[i]);
    }
    CoTaskMemFree(ids);
    CoTaskMemFree(descriptions);
    CoTaskMemFree(types);
    return a;
}

struct AvailableCase {
    const char16_t* itemId;
    HRESULT expected;
    std::vector<DWORD> ids;
};

TEST(ItemProperties, EachItemOffersItsProperties) {
    ServerConnection c = Connect(kDefaultProgId);
    const AvailableCase cases[] = {
        {u"Plant.PUMP1", S_OK, {1, 2, 3, 4, 5, 6, 7, 8, 100, 101, 102, 103, 5000, 5001, 5002, 5003}},
        {u"Ramp.I4", S_OK, {1, 2, 3, 4, 5, 6, 7, 101, 5000, 5001}},
        {u"Writable.BSTR", S_OK, {1, 2, 3, 4, 5, 6, 7, 5000}},
        {u"Device1.D100.03", S_OK, {1, 2, 3, 4, 5, 6, 7, 101, 5000, 5004}},
        {u"Ramp.NOPE", OPC_E_UNKNOWNITEMID, {}},
        {u"Ramp", OPC_E_UNKNOWNITEMID, {}},
        {u"", OPC_E_INVALIDITEMID, {}},
        {u"Ramp..I4", OPC_E_INVALIDITEMID, {}},
        {nullptr, E_INVALIDARG, {}},
    };
    for (const auto& k : cases) {
        const Available a = Query(c.properties.get(), k.itemId);
        EXPECT_EQ(a.hr, k.expected) << Utf8FromWide(k.itemId);
        EXPECT_EQ(a.ids, k.ids) << Utf8FromWide(k.itemId);
    }
    const Available pump = Query(c.properties.get(), u"Plant.PUMP1");
    ASSERT_GE(pump.ids.size(), 8u);
    EXPECT_EQ(pump.descriptions[0], "Item Canonical DataType");
    EXPECT_EQ(pump.types[1], VT_R8);  // the value, in the canonical type
    EXPECT_EQ(pump.types[3], VT_DATE);
    EXPECT_EQ(pump.types[7], VT_ARRAY | VT_R8);

    DWORD count = 0;
    DWORD* ids = nullptr;
    VARTYPE* types = nullptr;
    EXPECT_EQ(c.properties->QueryAvailableProperties(const_cast<LPWSTR>(u"Ramp.I4"), &count, &ids, nullptr, &types),
              E_POINTER);
}

struct Values {
    HRESULT hr = E_FAIL;
    std::vector<Variant> values;
    std::vector<HRESULT> errors;
};

Values Get(IOPCItemProperties* p, const char16_t* itemId, std::vector<DWORD> ids) {
    Values v;
    VARIANT* data = nullptr;
    HRESULT* errors = nullptr;
    std::u16string id = itemId;
    v.hr = p->GetItemProperties(id.data(), static_cast<DWORD>(ids.size()), ids.data(), &data, &errors);
    if (data && errors) {
        for (std::size_t i = 0; i < ids.size(); ++i) {
            v.values.push_back(Variant::Adopt(data[i]));
            v.errors.push_back(errors[i]);
        }
    }
    CoTaskMemFree(data);
    CoTaskMemFree(errors);
    return v;
}

std::string Text(const Variant& v) {
    Variant copy(v);
    if (FAILED(copy.ChangeType(VT_BSTR))) return "<vt " + std::to_string(v.vt()) + ">";
    return Utf8FromBstr(copy->bstrVal);
}

TEST(ItemProperties, ValuesDescribeTheItem) {
    ServerConnection c = Connect(kDefaultProgId);
    const Values v = Get(c.properties.get(), u"Plant.PUMP1", {1, 3, 5, 6, 7, 8, 100, 101, 102, 103, 5000, 5001});
    ASSERT_EQ(v.hr, S_OK);
    EXPECT_EQ(v.values[0].vt(), VT_I2);
    EXPECT_EQ(v.values[0]->iVal, VT_R8);
    EXPECT_EQ(v.values[1]->iVal, OPC_QUALITY_GOOD);
    EXPECT_EQ(v.values[2]->lVal, static_cast<LONG>(OPC_READABLE));
    EXPECT_EQ(v.values[3].vt(), VT_R4);
    EXPECT_EQ(v.values[4]->lVal, static_cast<LONG>(OPC_ANALOG));
    ASSERT_EQ(v.values[5].vt(), VT_ARRAY | VT_R8);
    double range[2] = {-1, -1};
    for (LONG i = 0; i < 2; ++i) SafeArrayGetElement(v.values[5]->parray, &i, &range[i]);
    EXPECT_EQ(range[0], 0.0);
    EXPECT_EQ(range[1], 50.0);
    EXPECT_EQ(Text(v.values[6]), "m3/h");
    EXPECT_EQ(Text(v.values[7]), "Feed pump 1 flow");
    EXPECT_EQ(v.values[8]->dblVal, 50.0);
    EXPECT_EQ(v.values[9]->dblVal, 0.0);
    EXPECT_EQ(Text(v.values[10]), "Sine");
    EXPECT_EQ(v.values[11]->ulVal, 100u);
    for (HRESULT e : v.errors) EXPECT_EQ(e, S_OK);
}

TEST(ItemProperties, TheTimestampPropertyIsTheValueTimeAsADate) {
    ServerConnection c = Connect(kDefaultProgId);
    const DATE now = DateFromFileTime(FileTimeNow());
    const Values v = Get(c.properties.get(), u"Ramp.I4", {4, 2});
    ASSERT_EQ(v.hr, S_OK);
    ASSERT_EQ(v.values[0].vt(), VT_DATE);
    // A ramp step is 100 ms; one day is 86 400 000 ms.
    EXPECT_NEAR(v.values[0]->date, now, 1.0 / 86400);
    EXPECT_EQ(v.values[1].vt(), VT_I4);
}

struct PropertyErrorCase {
    const char16_t* itemId;
    std::vector<DWORD> ids;
    HRESULT expected;
    std::vector<HRESULT> errors;
};

TEST(ItemProperties, UnknownIdsAndUnreadableValuesFailPerProperty) {
    ServerConnection c = Connect(kDefaultProgId);
    const PropertyErrorCase cases[] = {
        {u"Ramp.I4", {1, 9999, 8}, S_FALSE, {S_OK, OPC_E_INVALID_PID, OPC_E_INVALID_PID}},
        {u"Writable.WriteOnly", {1, 2}, S_FALSE, {S_OK, OPC_E_BADRIGHTS}},
        {u"Device1.D100.03", {5004, 2}, S_OK, {S_OK, S_OK}},
    };
    for (const auto& k : cases) {
        const Values v = Get(c.properties.get(), k.itemId, k.ids);
        EXPECT_EQ(v.hr, k.expected) << Utf8FromWide(k.itemId);
        EXPECT_EQ(v.errors, k.errors) << Utf8FromWide(k.itemId);
        for (std::size_t i = 0; i < v.errors.size(); ++i)
            if (FAILED(v.errors[i])) {
                EXPECT_EQ(v.values[i].vt(), VT_EMPTY);
            }
    }
    DWORD id = 1;
    VARIANT* data = nullptr;
    HRESULT* errors = nullptr;
    LPWSTR item = const_cast<LPWSTR>(u"Ramp.I4");
    EXPECT_EQ(c.properties->GetItemProperties(item, 0, &id, &data, &errors), E_INVALIDARG);
    EXPECT_EQ(c.properties->GetItemProperties(item, 1, nullptr, &data, &errors), E_INVALIDARG);
    EXPECT_EQ(c.properties->GetItemProperties(item, 1, &id, nullptr, &errors), E_POINTER);
    EXPECT_EQ(c.properties->GetItemProperties(const_cast<LPWSTR>(u"No.Such"), 1, &id, &data, &errors),
              OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(errors, nullptr);
}

struct LookupCase {
    const char16_t* itemId;
    std::vector<DWORD> ids;
    HRESULT expected;
    std::vector<HRESULT> errors;
    std::vector<std::string> itemIds;
};

TEST(ItemProperties, LookupItemIDsGivesTheItemsBehindProperties) {
    ServerConnection c = Connect(kDefaultProgId);
    const LookupCase cases[] = {
        {u"Plant.PUMP1",
         {100, 101, 5002, 5003},
         S_OK,
         {S_OK, S_OK, S_OK, S_OK},
         {"Plant.PUMP1_UNIT", "Plant.PUMP1_DESC", "Plant.PUMP1_SALM", "Plant.PUMP1_TREND"}},
        {u"Plant.PUMP1",
         {1, 2, 3, 4, 5, 6, 7, 8},
         S_FALSE,
         std::vector<HRESULT>(8, OPC_E_INVALID_PID),
         std::vector<std::string>(8, "<null>")},
        {u"Plant.PUMP1",
         {102, 5000, 4242},
         S_FALSE,
         {E_FAIL, E_FAIL, OPC_E_INVALID_PID},
         {"<null>", "<null>", "<null>"}},
        {u"Device1.D100.03", {5004}, S_OK, {S_OK}, {"Device1.D100"}},
        {u"Plant.TANK1", {100, 101}, S_OK, {S_OK, S_OK}, {"Plant.TANK1_UNIT", "Plant.TANK1_DESC"}},
    };
    for (const auto& k : cases) {
        LPWSTR* itemIds = nullptr;
        HRESULT* errors = nullptr;
        std::u16string id = k.itemId;
        std::vector<DWORD> ids = k.ids;
        EXPECT_EQ(c.properties->LookupItemIDs(id.data(), static_cast<DWORD>(ids.size()), ids.data(), &itemIds, &errors),
                  k.expected);
        ASSERT_TRUE(itemIds && errors);
        for (std::size_t i = 0; i < ids.size(); ++i) {
            EXPECT_EQ(errors[i], k.errors[i]) << Utf8FromWide(k.itemId) << " property " << ids[i];
            const std::string found = TakeString(itemIds[i]);
            EXPECT_EQ(found, k.itemIds[i]) << Utf8FromWide(k.itemId) << " property " << ids[i];
            // The item of a property is an item of the server.
            if (SUCCEEDED(k.errors[i])) {
                EXPECT_EQ(Query(c.properties.get(), WideFromUtf8(found).c_str()).hr, S_OK);
            }
        }
        CoTaskMemFree(itemIds);
        CoTaskMemFree(errors);
    }
    DWORD id = 100;
    LPWSTR* itemIds = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_EQ(c.properties->LookupItemIDs(const_cast<LPWSTR>(u"Plant.PUMP1"), 0, &id, &itemIds, &errors), E_INVALIDARG);
    EXPECT_EQ(c.properties->LookupItemIDs(const_cast<LPWSTR>(u"Plant.PUMP1"), 1, &id, nullptr, &errors), E_POINTER);
    EXPECT_EQ(c.properties->LookupItemIDs(nullptr, 1, &id, &itemIds, &errors), E_INVALIDARG);
}

TEST(ItemProperties, ItemsWhoseAddFailsHaveNoProperties) {
    SimConfig config;
    config.loadTagCount = 0;
    config.addErrors["Ramp.I4"] = OPC_E_UNKNOWNITEMID;
    RegisterSimulationServer("Test.Properties.AddErrors", config);
    ServerConnection c = Connect("Test.Properties.AddErrors");
    EXPECT_EQ(Query(c.properties.get(), u"Ramp.I4").hr, OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(Query(c.properties.get(), u"Ramp.I2").hr, S_OK);
}

}  // namespace
}  // namespace simserver::test
