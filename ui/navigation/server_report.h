// What the server and group property sheets show, without widgets: the registered OPC DA
// servers under their three headings, the status report of a connection, and the interface
// rows of a connection or a group.
#pragma once

#include <string>
#include <vector>

class CVGroup;
class CVServer;

// One heading of the registered-servers tree with the ProgIDs below it, in the order found.
struct RegisteredServerGroup {
    std::string heading;
    std::vector<std::string> progIds;
};
// "OPC Data Access Servers Version 1.0" and "... 2.0" (the two component categories), then
// "OPC General" (the classes registered with the older "OPC" key).
std::vector<RegisteredServerGroup> RegisteredServers();

// The Status page's text: ProgID, remote computer, and what GetStatus answers (vendor,
// times, state, group count, version), or "无法判定状态". Lines end in "\r\n".
std::string ServerStatusReport(const CVServer& server);

// The Interfaces page's rows: name, required ("是"/"否") and whether the server holds it.
struct InterfaceRow {
    std::string name;
    bool required;
    bool supported;
};
std::vector<InterfaceRow> InterfaceRows(const CVServer& server);
// The group sheet's eight rows, from the interfaces the group holds.
std::vector<InterfaceRow> InterfaceRows(const CVGroup& group);
