#include "opc/client/sink_lookup.h"

#include "opc/client/client_handles.h"
#include "platform/shell/shell.h"

bool FindGroupName(OPCHANDLE clientGroup, std::string& name) {
    auto lock = GroupHandles().ReadLock();
    const CVGroup* group = GroupHandles().Find(clientGroup);
    if (!group) return false;
    name = group->Name();
    return true;
}

void FailedWriteList::Report(EventMessage<const char*, DWORD, unsigned> message, DWORD transactionId) const {
    for (const auto& f : failed_)
        ReportServerError(f.server, message, f.itemId.c_str(), transactionId, HrBits(f.error));
}
