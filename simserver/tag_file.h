// The file behind the server's IPersistFile: the values of the writable scalar tags, one per
// line as "ItemID<TAB>VARTYPE<TAB>value text" (UTF-8). Arrays are not kept.
#pragma once

#include <cstdint>
#include <string>

#include "simserver/address_space.h"

namespace simserver {

// A number that changes whenever a writable tag is written, to tell IsDirty.
std::uint64_t WrittenStateVersion(const AddressSpace& space);

// S_OK, or STG_E_ACCESSDENIED when the file cannot be written.
HRESULT SaveTagFile(const AddressSpace& space, const std::string& path);

// Reads the whole file first and writes nothing unless every line is well-formed, names a
// writable tag and converts to its type: STG_E_FILENOTFOUND, OPC_E_INVALIDCONFIGFILE.
HRESULT LoadTagFile(AddressSpace& space, const std::string& path);

}  // namespace simserver
