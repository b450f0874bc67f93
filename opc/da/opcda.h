// Everything of OPC Data Access 1.0 / 2.05 that the client and the simulation server use.
#pragma once

#include "opc/da/group_interfaces.h"
#include "opc/da/iids.h"
#include "opc/da/opc_types.h"
#include "opc/da/persist_file.h"
#include "opc/da/server_interfaces.h"
#include "opc/da/stream_layout.h"
