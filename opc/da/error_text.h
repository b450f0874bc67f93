// Descriptions of the OPC DA result codes, as a server returns them from GetErrorString.
#pragma once

#include "platform/com/types.h"

// English text of an OPC_E_* / OPC_S_* code; null when the code is not an OPC DA code.
const char* OpcErrorText(HRESULT code);
