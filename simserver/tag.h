// One item of the simulation server's address space. Simulated values are pure functions of
// time (ramps, random, sine, square, cycling text and quality); writable tags hold what was
// written; bit tags read and write one bit of a word tag. All methods are thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "opc/da/opc_types.h"

namespace simserver {

enum class SignalShape : std::uint8_t {
    Memory,        // holds what was written
    Fixed,         // a constant value with a fixed quality
    Ramp,          // counts up by one per step (integers wrap in their width)
    Random,        // deterministic pseudo-random value per step
    Sine,          // sine between low and high over the period
    Square,        // low and high alternating each half period
    TextCycle,     // cycles through a list of words
    QualityCycle,  // a ramp whose quality cycles through good, uncertain and bad states
    Bit,           // one bit of a word tag
};

// What a tag is made from (see address_space.cpp for the catalogue).
struct TagSpec {
    std::u16string itemId;
    VARTYPE type = VT_EMPTY;  // canonical type; VT_ARRAY | base for arrays
    SignalShape shape = SignalShape::Memory;
    DWORD rights = OPC_READABLE;
    DWORD stepMs = 1000;     // the value changes once per step
    DWORD periodMs = 10000;  // sine, square, float ramps
    double low = 0.0;        // EU range of analog tags; ramp/sine/random range
    double high = 100.0;
    bool analog = false;  // OPC_ANALOG with [low, high]
    // Array element counts in the array's stored bound order: for two dimensions the row
    // count, then the row length, the way clients show the rows.
    std::vector<ULONG> dims;
    WORD quality = OPC_QUALITY_GOOD;  // Fixed
    std::int64_t offset = 0;          // ramp start / random seed
    std::string initialText;          // BSTR initial value (Memory, Fixed)
    double initialNumber = 0;         // numeric initial value (Memory, Fixed)
    std::string unit;
    std::string description;
    std::vector<std::u16string> accessPaths;          // accepted besides the empty one
    std::map<DWORD, std::u16string> propertyItemIds;  // property id -> ItemID
};

class Tag {
public:
    // `word` is the word tag of a Bit tag (bit number in desc.offset), else null.
    Tag(TagSpec desc, FILETIME created, Tag* word = nullptr);
    ~Tag();
    Tag(const Tag&) = delete;
    Tag& operator=(const Tag&) = delete;

    const std::u16string& ItemId() const { return spec_.itemId; }
    VARTYPE CanonicalType() const { return spec_.type; }
    DWORD AccessRights() const { return spec_.rights; }
    SignalShape Shape() const { return spec_.shape; }
    DWORD StepMs() const { return spec_.stepMs; }
    const std::string& Unit() const { return spec_.unit; }
    const std::string& Description() const { return spec_.description; }

    // OPC_ANALOG with EuLow()/EuHigh() as the range (percent deadband), else OPC_NOENUM.
    OPCEUTYPE EuType() const { return spec_.analog ? OPC_ANALOG : OPC_NOENUM; }
    double EuLow() const { return spec_.low; }
    double EuHigh() const { return spec_.high; }
    // The EU information as OPCITEMATTRIBUTES carries it: VT_ARRAY | VT_R8 {low, high} for
    // analog tags, VT_EMPTY otherwise. The caller clears `out`.
    void GetEuInfo(VARIANT* out) const;

    // Empty is always accepted; the others are listed by BrowseAccessPaths.
    bool AcceptsAccessPath(std::u16string_view path) const;
    const std::vector<std::u16string>& AccessPaths() const { return spec_.accessPaths; }
    const std::map<DWORD, std::u16string>& PropertyItemIds() const { return spec_.propertyItemIds; }

    // The value at `now` in the canonical type (the caller owns and clears it), with its
    // quality and the time it took that value. `value` must be empty or initialised.
    void Read(FILETIME now, VARIANT* value, WORD* quality, FILETIME* timestamp) const;

    // Cheap change detection: equal numbers for two instants mean the value, quality and
    // timestamp are equal too; a new number means they may have changed (compare the values
    // if it matters). No lock, no allocation.
    std::uint64_t Version(FILETIME now) const;

    // Converts `value` to the canonical type and stores it. OPC_E_BADRIGHTS for a tag that
    // is not writable, OPC_E_BADTYPE when the value cannot be converted, OPC_E_RANGE when it
    // overflows the canonical type, or the write error configured for the tag.
    HRESULT Write(const VARIANT& value);

    // Every write of this tag fails with `error` (a fault of the server's configuration).
    void SetWriteError(HRESULT error) { writeError_ = error; }

private:
    struct Memory;
    std::uint64_t StepOf(FILETIME now) const;
    void ReadComputed(FILETIME now, VARIANT* value, WORD* quality, FILETIME* timestamp) const;
    HRESULT WriteBit(const VARIANT& value);
    void Store(VARIANT* converted);

    TagSpec spec_;
    Tag* word_ = nullptr;
    std::unique_ptr<Memory> memory_;  // Memory tags
    FILETIME created_;
    std::optional<HRESULT> writeError_;
};

}  // namespace simserver
