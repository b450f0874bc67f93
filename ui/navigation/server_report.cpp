#include "ui/navigation/server_report.h"

#include "opc/client/group.h"
#include "opc/client/server.h"
#include "opc/da/iids.h"
#include "platform/com/bstr.h"
#include "platform/com/class_registry.h"
#include "platform/com/filetime.h"
#include "platform/com/memory.h"
#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"

#include <cstdio>

namespace {

// The string-table line `id` with its "%1" replaced by `value`.
std::string Line(unsigned id, const std::string& value) {
    std::string text(LoadString(id));
    if (const std::size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, value);
    return text;
}

// Hour, minute, second and milliseconds of local time; empty when it cannot be converted.
std::string LocalTimeText(const FILETIME& time) {
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &st)) return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d:%03d", st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return buffer;
}

std::string StateText(OPCSERVERSTATE state) {
    switch (state) {
    case OPC_STATUS_RUNNING: return std::string(LoadString(IDS_STATE_RUNNING));
    case OPC_STATUS_FAILED: return std::string(LoadString(IDS_STATE_FAILED));
    case OPC_STATUS_NOCONFIG: return std::string(LoadString(IDS_STATE_NO_CONFIG));
    case OPC_STATUS_SUSPENDED: return std::string(LoadString(IDS_STATE_SUSPENDED));
    case OPC_STATUS_TEST: return std::string(LoadString(IDS_STATE_TEST));
    default: return "???";
    }
}

std::vector<std::string> ProgIdsOfCategory(ICatInformation* categories, const CATID& category) {
    std::vector<std::string> progIds;
    ComPtr<IEnumGUID> classes;
    if (FAILED(categories->EnumClassesOfCategories(1, &category, 0, nullptr, classes.put())) || !classes)
        return progIds;
    CLSID clsid;
    ULONG fetched = 0;
    while (classes->Next(1, &clsid, &fetched) == S_OK && fetched == 1) {
        LPOLESTR progId = nullptr;
        if (SUCCEEDED(ProgIDFromCLSID(clsid, &progId)) && progId) progIds.push_back(Utf8FromWide(progId));
        CoTaskMemFree(progId);
    }
    return progIds;
}

}  // namespace

std::vector<RegisteredServerGroup> RegisteredServers() {
    std::vector<RegisteredServerGroup> groups{
        {"OPC Data Access Servers Version 1.0", {}},
        {"OPC Data Access Servers Version 2.0", {}},
        {"OPC General", ProgIDsWithOpcKey()},
    };
    const bool initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    if (initialised) {
        ComPtr<ICatInformation> categories;
        if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_ALL, IID_ICatInformation,
                                       reinterpret_cast<void**>(categories.put()))) &&
            categories) {
            groups[0].progIds = ProgIdsOfCategory(categories.get(), CATID_OPCDAServer10);
            groups[1].progIds = ProgIdsOfCategory(categories.get(), CATID_OPCDAServer20);
        }
        CoUninitialize();
    }
    return groups;
}

std::string ServerStatusReport(const CVServer& server) {
    std::string report = Line(IDS_STATUS_PROGID, server.progId);
    if (!server.remoteComputer.empty()) report += Line(IDS_STATUS_REMOTE_COMPUTER, server.remoteComputer);
    const ComPtr<IOPCServer> opcServer = server.OpcServer();
    TaskMemArray<OPCSERVERSTATUS> status([](OPCSERVERSTATUS& s) { CoTaskMemFree(s.szVendorInfo); });
    const HRESULT hr = opcServer ? opcServer->GetStatus(status.put()) : E_FAIL;
    status.SetFilled(1);
    if (!opcServer || FAILED(hr) || !status) return report + std::string(LoadString(IDS_STATE_UNKNOWN));

    const OPCSERVERSTATUS& s = status[0];
    if (s.szVendorInfo) report += Line(IDS_STATUS_VENDOR, Utf8FromWide(s.szVendorInfo));
    const std::pair<unsigned, const FILETIME*> times[] = {
        {IDS_STATUS_START_TIME, &s.ftStartTime},
        {IDS_STATUS_CURRENT_TIME, &s.ftCurrentTime},
        {IDS_STATUS_LAST_UPDATE, &s.ftLastUpdateTime},
    };
    for (const auto& [id, time] : times) {
        const std::string text = LocalTimeText(*time);
        if (!text.empty()) report += Line(id, text);
    }
    report += Line(IDS_STATUS_SERVER_STATE, StateText(s.dwServerState));
    report += Line(IDS_STATUS_GROUP_COUNT, std::to_string(s.dwGroupCount));
    report += Line(IDS_STATUS_MAJOR_VERSION, std::to_string(s.wMajorVersion));
    report += Line(IDS_STATUS_MINOR_VERSION, std::to_string(s.wMinorVersion));
    report += Line(IDS_STATUS_BUILD_NUMBER, std::to_string(s.wBuildNumber));
    return report;
}

std::vector<InterfaceRow> InterfaceRows(const CVServer& server) {
    return {
        {"IOPCServer", true, static_cast<bool>(server.OpcServer())},
        {"IOPCBrowseServerAddressSpace", false, static_cast<bool>(server.BrowseAddressSpace())},
        {"IOPCServerPublicGroups", false, static_cast<bool>(server.PublicGroups())},
        {"IPersistFile", false, static_cast<bool>(server.PersistFile())},
        {"IOPCCommon (2.0 only)", true, static_cast<bool>(server.Common())},
        {"IOPCItemProperties (2.0 only)", true, static_cast<bool>(server.ItemProperties())},
        {"IConnectionPointContainer (2.0 only)", true, static_cast<bool>(server.ConnectionPointContainer())},
    };
}

std::vector<InterfaceRow> InterfaceRows(const CVGroup& group) {
    return {
        {"IOPCGroupStateMgt", true, static_cast<bool>(group.GroupStateMgt())},
        {"IOPCPublicGroupStateMgt", false, static_cast<bool>(group.PublicGroupStateMgt())},
        {"IOPCItemMgt", true, static_cast<bool>(group.ItemMgt())},
        {"IOPCSyncIO", true, static_cast<bool>(group.SyncIO())},
        {"IOPCAsyncIO", true, static_cast<bool>(group.AsyncIO())},
        {"IDataObject", true, static_cast<bool>(group.DataObject())},
        {"IOPCAsyncIO2 (2.0 only)", true, static_cast<bool>(group.AsyncIO2())},
        {"IConnectionPointContainer (2.0 only)", true, static_cast<bool>(group.ConnectionPointContainer())},
    };
}
