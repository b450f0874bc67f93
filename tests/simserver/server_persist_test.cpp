// IPersistFile of the simulation server: the values of the writable tags in a file.
#include <filesystem>

#include "platform/com/variant.h"
#include "server_test_support.h"
#include "tests/platform/temp_folder.h"

namespace simserver::test {
namespace {

// The value of an item read through its value property (id 2), as text.
std::string ValueOf(IOPCItemProperties* p, const char16_t* itemId) {
    std::u16string id = itemId;
    DWORD pid = OPC_PROP_VALUE;
    VARIANT* data = nullptr;
    HRESULT* errors = nullptr;
    if (FAILED(p->GetItemProperties(id.data(), 1, &pid, &data, &errors))) return "<failed>";
    Variant value = Variant::Adopt(data[0]);
    CoTaskMemFree(data);
    CoTaskMemFree(errors);
    if (FAILED(value.ChangeType(VT_BSTR))) return "<vt>";
    return Utf8FromBstr(value->bstrVal);
}

class PersistFile : public ::testing::Test {
protected:
    void SetUp() override {
        SimConfig config;
        config.loadTagCount = 0;
        RegisterSimulationServer("Test.Persist", config);
        conn_ = Connect("Test.Persist");
        ASSERT_TRUE(conn_.persist);
    }
    HRESULT LoadText(const std::string& text) {
        const std::string path = folder_ / "load.opcsim";
        TempFolder::Write(path, text);
        return conn_.persist->Load(WideFromUtf8(path).c_str(), 0);
    }
    std::string Value(const char16_t* itemId) { return ValueOf(conn_.properties.get(), itemId); }

    TempFolder folder_;
    ServerConnection conn_;
};

TEST_F(PersistFile, StartsCleanWithoutAFile) {
    CLSID clsid{};
    ASSERT_EQ(conn_.persist->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, ClsidOf("Test.Persist"));
    EXPECT_EQ(conn_.persist->IsDirty(), S_FALSE);
    LPOLESTR name = nullptr;
    EXPECT_EQ(conn_.persist->GetCurFile(&name), S_FALSE);
    EXPECT_EQ(TakeString(name), "Simulation.opcsim");
    EXPECT_EQ(conn_.persist->GetClassID(nullptr), E_POINTER);
    EXPECT_EQ(conn_.persist->GetCurFile(nullptr), E_POINTER);
    EXPECT_EQ(conn_.persist->Save(nullptr, TRUE), E_INVALIDARG);  // no current file
    EXPECT_EQ(conn_.persist->Load(nullptr, 0), E_INVALIDARG);
}

TEST_F(PersistFile, LoadSetsTheWritableTagsAndSaveWritesThemBack) {
    ASSERT_EQ(LoadText("Writable.I4\t3\t42\r\n"
                       "Writable.BSTR\t8\thello 世界\n"
                       "\n"
                       "Writable.DATE\t7\t45000.5\n"
                       "Device1.D100\t18\t65535\n"),
              S_OK);
    EXPECT_EQ(Value(u"Writable.I4"), "42");
    EXPECT_EQ(Value(u"Writable.BSTR"), "hello 世界");
    EXPECT_EQ(Value(u"Device1.D100.15"), "-1");  // VARIANT_TRUE as text
    EXPECT_EQ(conn_.persist->IsDirty(), S_FALSE);
    LPOLESTR name = nullptr;
    ASSERT_EQ(conn_.persist->GetCurFile(&name), S_OK);
    EXPECT_EQ(TakeString(name), folder_ / "load.opcsim");

    const std::string saved = folder_ / "saved.opcsim";
    ASSERT_EQ(conn_.persist->Save(WideFromUtf8(saved).c_str(), TRUE), S_OK);
    ASSERT_EQ(conn_.persist->GetCurFile(&name), S_OK);
    EXPECT_EQ(TakeString(name), saved);

    // Another server object takes the same values from the saved file.
    ServerConnection other = Connect("Test.Persist");
    ASSERT_EQ(other.persist->Load(WideFromUtf8(saved).c_str(), 0), S_OK);
    for (const char16_t* id : {u"Writable.I4", u"Writable.BSTR", u"Writable.DATE", u"Device1.D100", u"Writable.R8"})
        EXPECT_EQ(ValueOf(other.properties.get(), id), Value(id)) << Utf8FromWide(id);
    EXPECT_EQ(ValueOf(other.properties.get(), u"Writable.I4"), "42");

    // Saving a copy does not change the current file.
    const std::string copy = folder_ / "copy.opcsim";
    ASSERT_EQ(conn_.persist->Save(WideFromUtf8(copy).c_str(), FALSE), S_OK);
    EXPECT_TRUE(std::filesystem::exists(copy));
    ASSERT_EQ(conn_.persist->GetCurFile(&name), S_OK);
    EXPECT_EQ(TakeString(name), saved);
}

struct BadFileCase {
    const char* text;
    HRESULT expected;
};

TEST_F(PersistFile, AFileWithAnyBadLineChangesNothing) {
    const BadFileCase cases[] = {
        {"Writable.I4\t3\tabc\n", OPC_E_INVALIDCONFIGFILE},
        {"Writable.I1\t16\t300\n", OPC_E_INVALIDCONFIGFILE},
        {"Writable.I4\t8\t1\n", OPC_E_INVALIDCONFIGFILE},  // recorded type differs
        {"Ramp.I4\t3\t1\n", OPC_E_INVALIDCONFIGFILE},      // not writable
        {"Writable.Array.I4\t8195\t1\n", OPC_E_INVALIDCONFIGFILE},
        {"No.Such\t3\t1\n", OPC_E_INVALIDCONFIGFILE},
        {"Writable.I4 3 1\n", OPC_E_INVALIDCONFIGFILE},
        {"Writable.I4\t3\n", OPC_E_INVALIDCONFIGFILE},
        {"Writable.I2\t2\t7\nWritable.I4\t3\tx\n", OPC_E_INVALIDCONFIGFILE},  // the good line is not applied
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LoadText(c.text), c.expected) << c.text;
        EXPECT_EQ(Value(u"Writable.I4"), "0") << c.text;
        EXPECT_EQ(Value(u"Writable.I2"), "0") << c.text;
    }
    EXPECT_EQ(conn_.persist->Load(WideFromUtf8(folder_ / "missing.opcsim").c_str(), 0), STG_E_FILENOTFOUND);
    EXPECT_EQ(conn_.persist->Save(u"/nonexistent-folder/x.opcsim", TRUE), STG_E_ACCESSDENIED);
    LPOLESTR name = nullptr;
    EXPECT_EQ(conn_.persist->GetCurFile(&name), S_FALSE);
    CoTaskMemFree(name);
}

}  // namespace
}  // namespace simserver::test
