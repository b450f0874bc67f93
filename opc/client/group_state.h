// What IOPCGroupStateMgt::GetState tells of a group, in one call with the returned name freed.
#pragma once

#include "opc/da/opcda.h"

#include <optional>
#include <string>

struct GroupState {
    DWORD updateRate = 0;
    bool active = false;
    std::string name;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0.0f;
    DWORD lcid = 0;
    OPCHANDLE serverHandle = 0;
};

// Nothing when the call fails.
std::optional<GroupState> ReadGroupState(IOPCGroupStateMgt& state);
