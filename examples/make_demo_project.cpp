// Writes the demo project that the README starts the program on: one connection to the
// simulation server with two groups in each update method and items of every data type the
// item list shows. Built with the program's own document, so the file is exactly what the
// program writes.
//
//   make_demo_project <path of demo.ovopc>
#include "opc/client/group.h"
#include "opc/client/item.h"
#include "opc/client/item_address_registry.h"
#include "opc/client/server.h"
#include "persistence/document.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct DemoItem {
    const char* itemId;
    VARTYPE type;
};

struct DemoGroup {
    const char* name;
    DWORD updateMethod;  // 0: OPC 1.0 data, 1: OPC 1.0 data with time, 2: OPC 2.0
    DWORD updateRate;
    std::vector<DemoItem> items;
};

const std::vector<DemoGroup> kGroups = {
    {"Ramps 2.0",
     2,
     500,
     {{"Ramp.I1", VT_I1},
      {"Ramp.UI1", VT_UI1},
      {"Ramp.I2", VT_I2},
      {"Ramp.UI2", VT_UI2},
      {"Ramp.I4", VT_I4},
      {"Ramp.UI4", VT_UI4},
      {"Ramp.I8", VT_I8},
      {"Ramp.UI8", VT_UI8},
      {"Ramp.R4", VT_R4},
      {"Ramp.R8", VT_R8}}},
    {"Writable 2.0",
     2,
     250,
     {{"Writable.I2", VT_I2},
      {"Writable.I4", VT_I4},
      {"Writable.R4", VT_R4},
      {"Writable.R8", VT_R8},
      {"Writable.BOOL", VT_BOOL},
      {"Writable.BSTR", VT_BSTR},
      {"Writable.Array.I2", VT_ARRAY | VT_I2}}},
    {"Signals 1.0 time",
     1,
     1000,
     {{"Sine.R4", VT_R4},
      {"Sine.R8", VT_R8},
      {"Sine.I2", VT_I2},
      {"Square.BOOL", VT_BOOL},
      {"Square.I4", VT_I4},
      {"Random.I4", VT_I4},
      {"Random.R8", VT_R8},
      {"Random.BOOL", VT_BOOL}}},
    {"Plant 1.0 time", 1, 1000, {{"Plant.PUMP1", VT_R8}, {"Plant.TANK1", VT_R4}, {"Plant.PUMP1.UNIT", VT_BSTR}}},
    {"Text 1.0", 0, 1000, {{"Text.Cycle", VT_BSTR}, {"Text.Static", VT_BSTR}, {"Random.BSTR", VT_BSTR}}},
    {"Arrays 1.0",
     0,
     1000,
     {{"Array.UI1", VT_ARRAY | VT_UI1},
      {"Array.I2", VT_ARRAY | VT_I2},
      {"Array.I4", VT_ARRAY | VT_I4},
      {"Array.R4", VT_ARRAY | VT_R4},
      {"Array.R8", VT_ARRAY | VT_R8},
      {"Array2D.I2", VT_ARRAY | VT_I2},
      {"Array2D.R8", VT_ARRAY | VT_R8}}},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <demo.ovopc>\n", argv[0]);
        return 2;
    }
    CVDocument document(CItemAddressRegistry::Instance());
    auto* server = new CVServer();
    server->progId = "Orvane OPC";
    document.AddNewServer(server);
    // Groups and items are linked at the head, as the program does: create them backwards
    // so the file lists them in the order of the table.
    for (auto group = kGroups.rbegin(); group != kGroups.rend(); ++group) {
        auto* g = new CVGroup(server);
        g->SetName(group->name);
        g->SetDataChangeMode(group->updateMethod);
        g->updateRate = group->updateRate;
        server->LinkGroup(g);
    }
    // Addresses follow the table from 1.
    CVGroup* g = server->FirstGroup();
    for (const DemoGroup& group : kGroups) {
        std::vector<CVItem*> items;
        for (const DemoItem& entry : group.items) {
            auto* item = new CVItem(g);
            item->itemId = entry.itemId;
            item->SetDataType(entry.type);
            item->active = TRUE;
            CItemAddressRegistry::Instance().Register(item);
            items.push_back(item);
        }
        for (auto item = items.rbegin(); item != items.rend(); ++item) g->LinkItem(*item);
        g = g->next;
    }
    if (!document.OnSaveDocument(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: 1 server, %zu groups\n", argv[1], kGroups.size());
    return 0;
}
