// HRESULT codes: the standard ones and those of the OPC DA standard.
#pragma once

#include "platform/com/types.h"

constexpr HRESULT MakeHResult(std::uint32_t code) { return static_cast<HRESULT>(code); }
// An HRESULT as the unsigned number that "%08X" prints, in reports and traces.
constexpr unsigned HrBits(HRESULT hr) { return static_cast<unsigned>(hr); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHResult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
inline constexpr HRESULT RPC_S_SERVER_UNAVAILABLE_HR = MakeHResult(0x800706BA);
inline constexpr HRESULT RPC_S_CALL_FAILED_HR = MakeHResult(0x800706BE);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = MakeHResult(0x80040201);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = MakeHResult(0x80040202);
inline constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = MakeHResult(0x80040003);
inline constexpr HRESULT OLE_E_NOCONNECTION = MakeHResult(0x80040004);
inline constexpr HRESULT DV_E_FORMATETC = MakeHResult(0x80040064);
inline constexpr HRESULT DV_E_TYMED = MakeHResult(0x80040069);
inline constexpr HRESULT DV_E_DVASPECT = MakeHResult(0x8004006B);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000A);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHResult(0x8002000D);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000B);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = MakeHResult(0x80030001);
inline constexpr HRESULT STG_E_FILENOTFOUND = MakeHResult(0x80030002);
inline constexpr HRESULT STG_E_ACCESSDENIED = MakeHResult(0x80030005);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = MakeHResult(0x80030008);
inline constexpr HRESULT STG_E_INVALIDPOINTER = MakeHResult(0x80030009);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = MakeHResult(0x80030057);
inline constexpr HRESULT STG_E_MEDIUMFULL = MakeHResult(0x80030070);
inline constexpr HRESULT CO_S_NOTALLINTERFACES = MakeHResult(0x00080012);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0);
inline constexpr HRESULT RPC_E_CHANGED_MODE = MakeHResult(0x80010106);
inline constexpr HRESULT RPC_E_CANTCALLOUT_ININPUTSYNCCALL = MakeHResult(0x8001010D);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
inline constexpr HRESULT CAT_E_CATIDNOEXIST = MakeHResult(0x80040160);
inline constexpr HRESULT CAT_E_NODESCRIPTION = MakeHResult(0x80040161);
inline constexpr HRESULT DV_E_LINDEX = MakeHResult(0x80040068);
inline constexpr HRESULT DV_E_STGMEDIUM = MakeHResult(0x80040066);
inline constexpr HRESULT DV_E_CLIPFORMAT = MakeHResult(0x8004006A);
inline constexpr HRESULT OLE_E_ADVF = MakeHResult(0x80040001);
inline constexpr HRESULT DATA_S_SAMEFORMATETC = MakeHResult(0x00040130);
inline constexpr HRESULT DISP_E_DIVBYZERO = MakeHResult(0x80020012);

// OPC DA
inline constexpr HRESULT OPC_E_INVALIDHANDLE = MakeHResult(0xC0040001);
inline constexpr HRESULT OPC_E_BADTYPE = MakeHResult(0xC0040004);
inline constexpr HRESULT OPC_E_PUBLIC = MakeHResult(0xC0040005);
inline constexpr HRESULT OPC_E_BADRIGHTS = MakeHResult(0xC0040006);
inline constexpr HRESULT OPC_E_UNKNOWNITEMID = MakeHResult(0xC0040007);
inline constexpr HRESULT OPC_E_INVALIDITEMID = MakeHResult(0xC0040008);
inline constexpr HRESULT OPC_E_INVALIDFILTER = MakeHResult(0xC0040009);
inline constexpr HRESULT OPC_E_UNKNOWNPATH = MakeHResult(0xC004000A);
inline constexpr HRESULT OPC_E_RANGE = MakeHResult(0xC004000B);
inline constexpr HRESULT OPC_E_DUPLICATENAME = MakeHResult(0xC004000C);
inline constexpr HRESULT OPC_S_UNSUPPORTEDRATE = MakeHResult(0x0004000D);
inline constexpr HRESULT OPC_S_CLAMP = MakeHResult(0x0004000E);
inline constexpr HRESULT OPC_S_INUSE = MakeHResult(0x0004000F);
inline constexpr HRESULT OPC_E_INVALIDCONFIGFILE = MakeHResult(0xC0040010);
inline constexpr HRESULT OPC_E_NOTFOUND = MakeHResult(0xC0040011);
inline constexpr HRESULT OPC_E_INVALID_PID = MakeHResult(0xC0040203);

// The constant's name ("E_INVALIDARG", "OPC_E_BADTYPE", ...); "" for a code not listed here.
// A code added above also goes into the name table in hresult.cpp.
const char* HResultName(HRESULT hr);
