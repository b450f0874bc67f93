// Shared pieces of the client I/O tests: the event recorder and small value helpers.
#pragma once

#include "platform/com/types.h"
#include "platform/strings/string_table.h"
#include "tests/support/event_recorder.h"
#include "tests/support/messages.h"

inline VARIANT I4Value(LONG value) {
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
