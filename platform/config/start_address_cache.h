// The start address of OPC.cfg, read again only when the file has changed. Registering many
// items (loading, renumbering) would otherwise parse the file once per item.
#pragma once

unsigned ReadStartAddressCached();
