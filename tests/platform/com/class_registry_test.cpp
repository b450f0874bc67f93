// The class registry: creation with several interface requests, server names, ProgIDs,
// categories and the older "OPC" registration.
#include "platform/com/class_registry.h"
#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/com/memory.h"
#include "tests/platform/com/test_objects.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr CLSID kClsid = "{0E3C1A70-1111-4A5B-8C9D-000000000001}"_guid;
constexpr CLSID kFailingClsid = "{0E3C1A70-1111-4A5B-8C9D-000000000002}"_guid;
constexpr CLSID kStable = "{0E3C1A70-1111-4A5B-8C9D-000000000010}"_guid;
constexpr CLSID kUnknownClsid = "{0E3C1A70-1111-4A5B-8C9D-0000000000FF}"_guid;
constexpr CATID kCategoryOne = "{0E3C1A70-2222-4A5B-8C9D-000000000001}"_guid;
constexpr CATID kCategoryTwo = "{0E3C1A70-2222-4A5B-8C9D-000000000002}"_guid;
constexpr CATID kUnusedCategory = "{0E3C1A70-2222-4A5B-8C9D-0000000000FF}"_guid;

std::atomic<int> gCreated{0};

ComPtr<IClassFactory> CountedFactory() {
    return MakeClassFactory([](REFIID riid, void** ppv) {
        ++gCreated;
        return MakeComObject<CountedObject>()->QueryInterface(riid, ppv);
    });
}

void RegisterTestClass(REFCLSID clsid, const std::string& progId, std::vector<CATID> categories = {},
                       bool opcKey = false) {
    ClassRegistration registration;
    registration.clsid = clsid;
    registration.progId = progId;
    registration.description = progId + " object";
    registration.implementedCategories = std::move(categories);
    registration.opcKey = opcKey;
    registration.factory = CountedFactory();
    ASSERT_EQ(RegisterComClass(std::move(registration)), S_OK);
}

class ClassRegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestClass(kClsid, "Test.Counted.1", {kCategoryOne});
        ClassRegistration failing;
        failing.clsid = kFailingClsid;
        failing.progId = "Test.Failing.1";
        failing.factory = MakeClassFactory([](REFIID, void**) { return E_OUTOFMEMORY; });
        ASSERT_EQ(RegisterComClass(std::move(failing)), S_OK);
    }
    void TearDown() override {
        UnregisterComClass(kClsid);
        UnregisterComClass(kFailingClsid);
    }
};

void ReleaseResults(std::vector<MULTI_QI>& results) {
    for (MULTI_QI& r : results)
        if (r.pItf) r.pItf->Release();
}

TEST_F(ClassRegistryTest, CreationAnswersEachRequestSeparately) {
    struct RequestCase {
        const char* name;
        std::vector<const IID*> iids;
        HRESULT hr;
        std::vector<HRESULT> each;
    };
    const RequestCase cases[] = {
        {"all supported", {&IID_ITestA, &IID_ITestB, &IID_IUnknown}, S_OK, {S_OK, S_OK, S_OK}},
        {"some supported",
         {&IID_ITestMissing, &IID_ITestB, &IID_ITestSink},
         CO_S_NOTALLINTERFACES,
         {E_NOINTERFACE, S_OK, E_NOINTERFACE}},
        {"none supported", {&IID_ITestMissing, &IID_ITestSink}, E_NOINTERFACE, {E_NOINTERFACE, E_NOINTERFACE}},
    };
    for (const RequestCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MULTI_QI> results;
        for (const IID* iid : c.iids) results.push_back(MULTI_QI{iid, nullptr, S_OK});
        const int createdBefore = gCreated;
        EXPECT_EQ(CoCreateInstanceEx(kClsid, nullptr, CLSCTX_SERVER, nullptr, static_cast<DWORD>(results.size()),
                                     results.data()),
                  c.hr);
        EXPECT_EQ(gCreated - createdBefore, 1) << "one object answers every request";
        for (std::size_t i = 0; i < results.size(); ++i) {
            EXPECT_EQ(results[i].hr, c.each[i]) << i;
            EXPECT_EQ(results[i].pItf != nullptr, SUCCEEDED(c.each[i])) << i;
        }
        // All granted interfaces belong to the same object.
        std::vector<IUnknown*> identities;
        for (const MULTI_QI& r : results) {
            if (!r.pItf) continue;
            ComPtr<IUnknown> identity = ComPtr<IUnknown>(r.pItf).As<IUnknown>();
            identities.push_back(identity.get());
        }
        EXPECT_TRUE(std::adjacent_find(identities.begin(), identities.end(), std::not_equal_to<>()) ==
                    identities.end());
        ReleaseResults(results);
    }
}

TEST_F(ClassRegistryTest, ServerNameDecidesWhetherTheComputerIsReachable) {
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    std::string shortHost(host);
    shortHost = shortHost.substr(0, shortHost.find('.'));
    std::string upperHost(host);
    std::transform(upperHost.begin(), upperHost.end(), upperHost.begin(), ::toupper);

    struct NameCase {
        std::string name;
        HRESULT hr;
    };
    const std::vector<NameCase> cases = {
        {"", S_OK},
        {"localhost", S_OK},
        {"LocalHost", S_OK},
        {"127.0.0.1", S_OK},
        {host, S_OK},
        {upperHost, S_OK},
        {shortHost, S_OK},
        {"plant-server-7", RPC_S_SERVER_UNAVAILABLE_HR},
        {"10.0.0.99", RPC_S_SERVER_UNAVAILABLE_HR},
        {std::string(host) + "x", RPC_S_SERVER_UNAVAILABLE_HR},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::u16string wide = WideFromUtf8(c.name);
        COSERVERINFO info;
        info.pwszName = wide.data();
        std::vector<MULTI_QI> results = {{&IID_ITestA, nullptr, S_OK}, {&IID_ITestB, nullptr, S_OK}};
        EXPECT_EQ(CoCreateInstanceEx(kClsid, nullptr, CLSCTX_SERVER, &info, 2, results.data()), c.hr);
        for (const MULTI_QI& r : results) {
            EXPECT_EQ(r.hr, c.hr);
            EXPECT_EQ(r.pItf != nullptr, SUCCEEDED(c.hr));
        }
        ReleaseResults(results);
    }
}

TEST_F(ClassRegistryTest, FailuresReachEveryRequest) {
    struct FailureCase {
        const char* name;
        CLSID clsid;
        IUnknown* outer;
        DWORD context;
        HRESULT hr;
    };
    ComPtr<BareObject> outer = MakeComObject<BareObject>();
    const FailureCase cases[] = {
        {"unknown class", kUnknownClsid, nullptr, CLSCTX_SERVER, REGDB_E_CLASSNOTREG},
        {"factory fails", kFailingClsid, nullptr, CLSCTX_SERVER, E_OUTOFMEMORY},
        {"aggregation", kClsid, outer->Identity(), CLSCTX_SERVER, CLASS_E_NOAGGREGATION},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<MULTI_QI> results = {{&IID_ITestA, nullptr, S_OK}, {&IID_ITestB, nullptr, S_OK}};
        EXPECT_EQ(CoCreateInstanceEx(c.clsid, c.outer, c.context, nullptr, 2, results.data()), c.hr);
        for (const MULTI_QI& r : results) {
            EXPECT_EQ(r.hr, c.hr);
            EXPECT_EQ(r.pItf, nullptr);
        }
    }
    MULTI_QI noIid{nullptr, nullptr, S_OK};
    EXPECT_EQ(CoCreateInstanceEx(kClsid, nullptr, CLSCTX_SERVER, nullptr, 1, &noIid), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstanceEx(kClsid, nullptr, CLSCTX_SERVER, nullptr, 0, &noIid), E_INVALIDARG);
    EXPECT_EQ(CoCreateInstanceEx(kClsid, nullptr, CLSCTX_SERVER, nullptr, 1, nullptr), E_INVALIDARG);

    ComPtr<ITestA> single;
    EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestA, single.putVoid()), S_OK);
    EXPECT_TRUE(single);
}

TEST_F(ClassRegistryTest, ProgIdAndClsidMapBothWays) {
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(u"Test.Counted.1", &clsid), S_OK);
    EXPECT_EQ(clsid, kClsid);
    ASSERT_EQ(CLSIDFromProgID(u"TEST.counted.1", &clsid), S_OK) << "ProgIDs ignore case";
    EXPECT_EQ(CLSIDFromProgID(u"Test.Nothing.1", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(nullptr, &clsid), E_INVALIDARG);

    LPOLESTR progId = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kClsid, &progId), S_OK);
    EXPECT_EQ(Utf8FromWide(progId), "Test.Counted.1");
    CoTaskMemFree(progId);
    EXPECT_EQ(ProgIDFromCLSID(kUnknownClsid, &progId), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(progId, nullptr);

    LPOLESTR userType = nullptr;
    ASSERT_EQ(GetClassDetails(kClsid, nullptr, &userType), S_OK);
    EXPECT_EQ(Utf8FromWide(userType), "Test.Counted.1 object");
    CoTaskMemFree(userType);
}

TEST_F(ClassRegistryTest, RegistrationKeepsProgIdsUnique) {
    ClassRegistration clash;
    clash.clsid = kUnknownClsid;
    clash.progId = "test.COUNTED.1";
    clash.factory = CountedFactory();
    EXPECT_EQ(RegisterComClass(clash), E_INVALIDARG);
    clash.progId = "Test.Other.1";
    clash.factory = nullptr;
    EXPECT_EQ(RegisterComClass(clash), E_INVALIDARG) << "a class needs a factory";

    RegisterTestClass(kClsid, "Test.Renamed.1");  // same CLSID: replaces the registration
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(u"Test.Counted.1", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromProgID(u"Test.Renamed.1", &clsid), S_OK);
    EXPECT_EQ(UnregisterComClass(kUnknownClsid), REGDB_E_CLASSNOTREG);
}

std::vector<CLSID> ClassesOf(ICatInformation* categories, std::vector<CATID> implemented) {
    ComPtr<IEnumGUID> classes;
    EXPECT_EQ(categories->EnumClassesOfCategories(static_cast<ULONG>(implemented.size()), implemented.data(), 0,
                                                  nullptr, classes.put()),
              S_OK);
    std::vector<CLSID> found;
    CLSID clsid;
    while (classes && classes->Next(1, &clsid, nullptr) == S_OK) found.push_back(clsid);
    return found;
}

TEST_F(ClassRegistryTest, CategoriesManagerListsClassesByImplementedCategory) {
    constexpr CLSID kBoth = "{0E3C1A70-1111-4A5B-8C9D-000000000003}"_guid;
    constexpr CLSID kTwo = "{0E3C1A70-1111-4A5B-8C9D-000000000004}"_guid;
    RegisterTestClass(kBoth, "Test.Both.1", {kCategoryOne, kCategoryTwo});
    RegisterTestClass(kTwo, "Test.Two.1", {kCategoryTwo});
    RegisterComCategory(kCategoryOne, "Test category one");

    ComPtr<ICatInformation> categories;
    ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_SERVER, IID_ICatInformation,
                               categories.putVoid()),
              S_OK);
    EXPECT_EQ(ClassesOf(categories.get(), {kCategoryOne}), (std::vector<CLSID>{kClsid, kBoth}));
    EXPECT_EQ(ClassesOf(categories.get(), {kCategoryTwo}), (std::vector<CLSID>{kBoth, kTwo}));
    EXPECT_EQ(ClassesOf(categories.get(), {kCategoryOne, kCategoryTwo}), (std::vector<CLSID>{kClsid, kBoth, kTwo}))
        << "a class implementing any of the listed categories";
    EXPECT_TRUE(ClassesOf(categories.get(), {kUnusedCategory}).empty());

    EXPECT_EQ(categories->IsClassOfCategories(kTwo, 1, &kCategoryOne, 0, nullptr), S_FALSE);
    EXPECT_EQ(categories->IsClassOfCategories(kTwo, 1, &kCategoryTwo, 0, nullptr), S_OK);
    LPWSTR description = nullptr;
    ASSERT_EQ(categories->GetCategoryDesc(kCategoryOne, 0, &description), S_OK);
    EXPECT_EQ(Utf8FromWide(description), "Test category one");
    CoTaskMemFree(description);
    EXPECT_EQ(categories->GetCategoryDesc(kUnusedCategory, 0, &description), CAT_E_CATIDNOEXIST);

    UnregisterComClass(kBoth);
    UnregisterComClass(kTwo);
}

TEST_F(ClassRegistryTest, OlderOpcRegistrationIsListedInKeyOrder) {
    constexpr CLSID kFirst = "{0E3C1A70-1111-4A5B-8C9D-000000000005}"_guid;
    constexpr CLSID kSecond = "{0E3C1A70-1111-4A5B-8C9D-000000000006}"_guid;
    constexpr CLSID kThird = "{0E3C1A70-1111-4A5B-8C9D-000000000007}"_guid;
    RegisterTestClass(kFirst, "zz.Test.OpcKey", {}, true);
    RegisterTestClass(kSecond, "AA.Test.OpcKey", {}, true);
    RegisterTestClass(kThird, "mm.Test.NoKey", {}, false);

    std::vector<std::string> listed;
    for (const std::string& name : ProgIDsWithOpcKey())
        if (name.find(".Test.") != std::string::npos) listed.push_back(name);
    EXPECT_EQ(listed, (std::vector<std::string>{"AA.Test.OpcKey", "zz.Test.OpcKey"}));

    for (const CLSID& clsid : {kFirst, kSecond, kThird}) UnregisterComClass(clsid);
}

TEST(CoInitializeTest, CountsPerThreadAndKeepsTheModel) {
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "fully uninitialised";
        CoUninitialize();
    }).join();
}

TEST(ClassRegistryThreadedTest, RegisterLookUpAndCreateConcurrently) {
    RegisterTestClass(kStable, "Test.Stable.1");
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([t] {
            const CLSID mine{0x0E3C1A70, 0x3333, 0x4A5B, {0x8C, 0x9D, 0, 0, 0, 0, 0, static_cast<BYTE>(t)}};
            const std::string progId = "Test.Churn." + std::to_string(t);
            for (int round = 0; round < 300; ++round) {
                RegisterTestClass(mine, progId);
                ComPtr<ITestB> object;
                EXPECT_EQ(CoCreateInstance(kStable, nullptr, CLSCTX_SERVER, IID_ITestB, object.putVoid()), S_OK);
                CLSID found;
                EXPECT_EQ(CLSIDFromProgID(u"Test.Stable.1", &found), S_OK);
                EXPECT_EQ(UnregisterComClass(mine), S_OK);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    UnregisterComClass(kStable);
}

}  // namespace
