// Conversions between the COM layer's types and their wire form. Everything read from the wire
// is checked: a wrong variant type, a list of the wrong length or an IID of the wrong size gives
// an error HRESULT and leaves the output empty, never a crash.
#pragma once

#include "opc/da/opc_types.h"
#include "platform/com/hresult.h"
#include "platform/com/types.h"
#include "platform/com/variant.h"
#include "rpc/opc.capnp.h"

#include <string>
#include <vector>

namespace rpc {

// VARIANT <-> Variant. ToWire gives DISP_E_BADVARTYPE for types that cannot travel (interfaces,
// references); FromWire gives DISP_E_BADVARTYPE or E_INVALIDARG for malformed input, with *out
// left VT_EMPTY.
HRESULT ToWire(const VARIANT& value, rpcwire::Variant::Builder out);
HRESULT FromWire(rpcwire::Variant::Reader in, VARIANT* out);

// Empty and plain values (PlainValueSize > 0) travel as their type and bits, with no Variant of
// their own. InlineFromWire gives DISP_E_BADVARTYPE, with *out VT_EMPTY, for any other type.
// InlineBits gives false for a value that cannot travel inline; otherwise true, with the value's
// bytes in the low end of *bits and the rest zero.
bool InlineBits(const VARIANT& value, uint64_t* bits);
HRESULT InlineFromWire(VARTYPE vt, uint64_t bits, VARIANT* out);

// Strings. A null wide string travels as empty text.
std::string Utf8(const char16_t* wide);
std::u16string Wide(capnp::Text::Reader text);
// Task-memory copy of the text, for [out] strings; nullptr only when out of memory.
LPWSTR TaskWide(capnp::Text::Reader text);

// IIDs and CLSIDs travel as their 16 bytes.
void ToWire(const GUID& guid, capnp::Data::Builder out);
capnp::Data::Reader WireBytes(const GUID& guid);  // a view of guid's bytes, for setters
bool FromWire(capnp::Data::Reader in, GUID* out);

FILETIME FromWire(rpcwire::FileTime::Reader in);
void ToWire(const FILETIME& time, rpcwire::FileTime::Builder out);

// A task-memory copy of blob bytes (nullptr for none), its size in *size.
BYTE* TaskBlob(capnp::Data::Reader in, DWORD* size);

// Item definitions read from the wire, owning their strings and blobs, with the OPCITEMDEF
// array the COM call takes.
class ItemDefs {
public:
    explicit ItemDefs(capnp::List<rpcwire::ItemDef>::Reader in);
    DWORD Count() const { return static_cast<DWORD>(defs_.size()); }
    OPCITEMDEF* Data() { return defs_.data(); }

private:
    std::vector<std::u16string> ids_;
    std::vector<std::u16string> paths_;
    std::vector<std::vector<BYTE>> blobs_;
    std::vector<OPCITEMDEF> defs_;
};
void ToWire(const OPCITEMDEF& def, rpcwire::ItemDef::Builder out);

void ToWire(const OPCITEMRESULT& result, rpcwire::ItemResult::Builder out);
// Fills a task-memory result (its blob in task memory).
void FromWire(rpcwire::ItemResult::Reader in, OPCITEMRESULT* out);

HRESULT ToWire(const OPCITEMSTATE& state, rpcwire::ItemState::Builder out);
HRESULT FromWire(rpcwire::ItemState::Reader in, OPCITEMSTATE* out);

HRESULT ToWire(const OPCITEMATTRIBUTES& attributes, rpcwire::ItemAttributes::Builder out);
HRESULT FromWire(rpcwire::ItemAttributes::Reader in, OPCITEMATTRIBUTES* out);

void ToWire(const OPCSERVERSTATUS& status, rpcwire::ServerStatus::Builder out);
void FromWire(rpcwire::ServerStatus::Reader in, OPCSERVERSTATUS* out);  // vendor text in task memory

// Variants read from the wire, owned (cleared on destruction), as the VARIANT array a call takes.
class WireVariants {
public:
    // On a malformed value, Status() is its error and the array holds only the good ones.
    explicit WireVariants(capnp::List<rpcwire::Variant>::Reader in);
    ~WireVariants();
    WireVariants(const WireVariants&) = delete;
    WireVariants& operator=(const WireVariants&) = delete;
    HRESULT Status() const { return status_; }
    DWORD Count() const { return static_cast<DWORD>(values_.size()); }
    VARIANT* Data() { return values_.data(); }

private:
    std::vector<VARIANT> values_;
    HRESULT status_ = S_OK;
};

// A task-memory HRESULT array copied from the wire; nullptr for an empty list.
HRESULT* TaskErrors(capnp::List<int32_t>::Reader in);
void ErrorsToWire(const HRESULT* errors, DWORD count, capnp::List<int32_t>::Builder out);

}  // namespace rpc
