// Interface and category identifiers of OPC Data Access 1.0 / 2.05, with their published
// values.
#pragma once

#include "platform/com/types.h"

namespace opc_da_detail {
// The DA 1.0 interfaces share one GUID pattern that differs only in Data1.
constexpr GUID Da10(std::uint32_t data1) {
    return GUID{data1, 0x011E, 0x11D0, {0x96, 0x75, 0x00, 0x20, 0xAF, 0xD8, 0xAD, 0xB3}};
}
// IOPCCommon and IOPCShutdown (OPC Common 1.0).
constexpr GUID Common(std::uint32_t data1) {
    return GUID{data1, 0x07B6, 0x11D2, {0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
}
}  // namespace opc_da_detail

// {39C13A4D-011E-11D0-9675-0020AFD8ADB3} ...
inline constexpr IID IID_IOPCServer = opc_da_detail::Da10(0x39C13A4D);
inline constexpr IID IID_IOPCServerPublicGroups = opc_da_detail::Da10(0x39C13A4E);
inline constexpr IID IID_IOPCBrowseServerAddressSpace = opc_da_detail::Da10(0x39C13A4F);
inline constexpr IID IID_IOPCGroupStateMgt = opc_da_detail::Da10(0x39C13A50);
inline constexpr IID IID_IOPCPublicGroupStateMgt = opc_da_detail::Da10(0x39C13A51);
inline constexpr IID IID_IOPCSyncIO = opc_da_detail::Da10(0x39C13A52);
inline constexpr IID IID_IOPCAsyncIO = opc_da_detail::Da10(0x39C13A53);
inline constexpr IID IID_IOPCItemMgt = opc_da_detail::Da10(0x39C13A54);
inline constexpr IID IID_IEnumOPCItemAttributes = opc_da_detail::Da10(0x39C13A55);
inline constexpr IID IID_IOPCDataCallback = opc_da_detail::Da10(0x39C13A70);
inline constexpr IID IID_IOPCAsyncIO2 = opc_da_detail::Da10(0x39C13A71);
inline constexpr IID IID_IOPCItemProperties = opc_da_detail::Da10(0x39C13A72);

// {F31DFDE2-07B6-11D2-B2D8-0060083BA1FB}
inline constexpr IID IID_IOPCCommon = opc_da_detail::Common(0xF31DFDE2);
// {F31DFDE1-07B6-11D2-B2D8-0060083BA1FB}
inline constexpr IID IID_IOPCShutdown = opc_da_detail::Common(0xF31DFDE1);

// {63D5F430-CFE4-11D1-B2C8-0060083BA1FB}
inline constexpr CATID CATID_OPCDAServer10{
    0x63D5F430, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
// {63D5F432-CFE4-11D1-B2C8-0060083BA1FB}
inline constexpr CATID CATID_OPCDAServer20{
    0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
