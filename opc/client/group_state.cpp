#include "opc/client/group_state.h"

#include "platform/com/bstr.h"
#include "platform/com/memory.h"

std::optional<GroupState> ReadGroupState(IOPCGroupStateMgt& state) {
    GroupState read;
    BOOL active = FALSE;
    TaskMemArray<WCHAR> name;
    OPCHANDLE clientHandle = 0;
    if (FAILED(state.GetState(&read.updateRate, &active, name.put(), &read.timeBias, &read.percentDeadband, &read.lcid,
                              &clientHandle, &read.serverHandle)))
        return std::nullopt;
    read.active = active != FALSE;
    if (name) read.name = Utf8FromWide(name.get());
    return read;
}
