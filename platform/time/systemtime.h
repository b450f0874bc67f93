// The current local time as a SYSTEMTIME (the struct of the COM layer's time header).
#pragma once

#include "platform/com/filetime.h"

// Local time now, with milliseconds.
SYSTEMTIME LocalTimeNow();
