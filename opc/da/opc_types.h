// OPC Data Access 1.0 / 2.05 custom interface types: handles, enumerations, structures,
// access rights, quality bits and the standard item property ids.
#pragma once

#include "platform/com/types.h"

using OPCHANDLE = DWORD;

// Enumerations have a fixed 32-bit underlying type: every DWORD a caller passes is a valid
// value of the type, so a server can range-check it without undefined behaviour.
enum OPCDATASOURCE : DWORD { OPC_DS_CACHE = 1, OPC_DS_DEVICE = 2 };

enum OPCBROWSETYPE : DWORD { OPC_BRANCH = 1, OPC_LEAF = 2, OPC_FLAT = 3 };

// The standard spells it "HIERARCHIAL".
enum OPCNAMESPACETYPE : DWORD { OPC_NS_HIERARCHIAL = 1, OPC_NS_FLAT = 2 };

enum OPCBROWSEDIRECTION : DWORD { OPC_BROWSE_UP = 1, OPC_BROWSE_DOWN = 2, OPC_BROWSE_TO = 3 };

enum OPCEUTYPE : DWORD { OPC_NOENUM = 0, OPC_ANALOG = 1, OPC_ENUMERATED = 2 };

enum OPCSERVERSTATE : DWORD {
    OPC_STATUS_RUNNING = 1,
    OPC_STATUS_FAILED = 2,
    OPC_STATUS_NOCONFIG = 3,
    OPC_STATUS_SUSPENDED = 4,
    OPC_STATUS_TEST = 5,
};

enum OPCENUMSCOPE : DWORD {
    OPC_ENUM_PRIVATE_CONNECTIONS = 1,
    OPC_ENUM_PUBLIC_CONNECTIONS = 2,
    OPC_ENUM_ALL_CONNECTIONS = 3,
    OPC_ENUM_PRIVATE = 4,
    OPC_ENUM_PUBLIC = 5,
    OPC_ENUM_ALL = 6,
};

// Access rights of an item.
inline constexpr DWORD OPC_READABLE = 0x1;
inline constexpr DWORD OPC_WRITEABLE = 0x2;

// Quality: QQSSSSLL (quality, substatus, limit).
inline constexpr WORD OPC_QUALITY_MASK = 0xC0;
inline constexpr WORD OPC_STATUS_MASK = 0xFC;
inline constexpr WORD OPC_LIMIT_MASK = 0x03;

inline constexpr WORD OPC_QUALITY_BAD = 0x00;
inline constexpr WORD OPC_QUALITY_UNCERTAIN = 0x40;
inline constexpr WORD OPC_QUALITY_GOOD = 0xC0;

inline constexpr WORD OPC_QUALITY_CONFIG_ERROR = 0x04;
inline constexpr WORD OPC_QUALITY_NOT_CONNECTED = 0x08;
inline constexpr WORD OPC_QUALITY_DEVICE_FAILURE = 0x0C;
inline constexpr WORD OPC_QUALITY_SENSOR_FAILURE = 0x10;
inline constexpr WORD OPC_QUALITY_LAST_KNOWN = 0x14;
inline constexpr WORD OPC_QUALITY_COMM_FAILURE = 0x18;
inline constexpr WORD OPC_QUALITY_OUT_OF_SERVICE = 0x1C;
inline constexpr WORD OPC_QUALITY_WAITING_FOR_INITIAL_DATA = 0x20;

inline constexpr WORD OPC_QUALITY_LAST_USABLE = 0x44;
inline constexpr WORD OPC_QUALITY_SENSOR_CAL = 0x50;
inline constexpr WORD OPC_QUALITY_EGU_EXCEEDED = 0x54;
inline constexpr WORD OPC_QUALITY_SUB_NORMAL = 0x58;

inline constexpr WORD OPC_QUALITY_LOCAL_OVERRIDE = 0xD8;

inline constexpr WORD OPC_LIMIT_OK = 0x00;
inline constexpr WORD OPC_LIMIT_LOW = 0x01;
inline constexpr WORD OPC_LIMIT_HIGH = 0x02;
inline constexpr WORD OPC_LIMIT_CONST = 0x03;

// Item property ids. 1-8 describe the item itself; 100-... are recommended ids; vendor
// specific ids start at 5000.
inline constexpr DWORD OPC_PROP_CDT = 1;
inline constexpr DWORD OPC_PROP_VALUE = 2;
inline constexpr DWORD OPC_PROP_QUALITY = 3;
inline constexpr DWORD OPC_PROP_TIME = 4;
inline constexpr DWORD OPC_PROP_RIGHTS = 5;
inline constexpr DWORD OPC_PROP_SCANRATE = 6;
inline constexpr DWORD OPC_PROP_EUTYPE = 7;
inline constexpr DWORD OPC_PROP_EUINFO = 8;
inline constexpr DWORD OPC_PROP_UNIT = 100;
inline constexpr DWORD OPC_PROP_DESC = 101;
inline constexpr DWORD OPC_PROP_HIEU = 102;
inline constexpr DWORD OPC_PROP_LOEU = 103;
inline constexpr DWORD OPC_PROP_HIRANGE = 104;
inline constexpr DWORD OPC_PROP_LORANGE = 105;
inline constexpr DWORD OPC_PROP_CLOSE = 106;
inline constexpr DWORD OPC_PROP_OPEN = 107;
inline constexpr DWORD OPC_PROP_TIMEZONE = 108;
inline constexpr DWORD OPC_PROP_FIRST_VENDOR = 5000;

struct OPCITEMDEF {
    LPWSTR szAccessPath = nullptr;
    LPWSTR szItemID = nullptr;
    BOOL bActive = FALSE;
    OPCHANDLE hClient = 0;
    DWORD dwBlobSize = 0;
    BYTE* pBlob = nullptr;
    VARTYPE vtRequestedDataType = VT_EMPTY;
    WORD wReserved = 0;
};

struct OPCITEMRESULT {
    OPCHANDLE hServer = 0;
    VARTYPE vtCanonicalDataType = VT_EMPTY;
    WORD wReserved = 0;
    DWORD dwAccessRights = 0;
    DWORD dwBlobSize = 0;
    BYTE* pBlob = nullptr;
};

struct OPCITEMSTATE {
    OPCHANDLE hClient = 0;
    FILETIME ftTimeStamp;
    WORD wQuality = 0;
    WORD wReserved = 0;
    VARIANT vDataValue;
};

struct OPCITEMATTRIBUTES {
    LPWSTR szAccessPath = nullptr;
    LPWSTR szItemID = nullptr;
    BOOL bActive = FALSE;
    OPCHANDLE hClient = 0;
    OPCHANDLE hServer = 0;
    DWORD dwAccessRights = 0;
    DWORD dwBlobSize = 0;
    BYTE* pBlob = nullptr;
    VARTYPE vtRequestedDataType = VT_EMPTY;
    VARTYPE vtCanonicalDataType = VT_EMPTY;
    OPCEUTYPE dwEUType = OPC_NOENUM;
    VARIANT vEUInfo;
};

struct OPCSERVERSTATUS {
    FILETIME ftStartTime;
    FILETIME ftCurrentTime;
    FILETIME ftLastUpdateTime;
    OPCSERVERSTATE dwServerState = OPC_STATUS_RUNNING;
    DWORD dwGroupCount = 0;
    DWORD dwBandWidth = 0;
    WORD wMajorVersion = 0;
    WORD wMinorVersion = 0;
    WORD wBuildNumber = 0;
    WORD wReserved = 0;
    LPWSTR szVendorInfo = nullptr;
};

// Headers of the OPC DA 1.0 data streams. These describe the fields; the streams themselves
// are encoded and decoded field by field with opc/da/stream_layout.h, never by copying
// these structs.
struct OPCGROUPHEADER {
    DWORD dwSize = 0;
    DWORD dwItemCount = 0;
    OPCHANDLE hClientGroup = 0;
    DWORD dwTransactionID = 0;
    HRESULT hrStatus = 0;
};

// Item header of "OPCSTMFORMATDATATIME".
struct OPCITEMHEADER1 {
    OPCHANDLE hClient = 0;
    DWORD dwValueOffset = 0;
    WORD wQuality = 0;
    WORD wReserved = 0;
    FILETIME ftTimeStampItem;
};

// Item header of "OPCSTMFORMATDATA".
struct OPCITEMHEADER2 {
    OPCHANDLE hClient = 0;
    DWORD dwValueOffset = 0;
    WORD wQuality = 0;
    WORD wReserved = 0;
};

struct OPCGROUPHEADERWRITE {
    DWORD dwItemCount = 0;
    OPCHANDLE hClientGroup = 0;
    DWORD dwTransactionID = 0;
    HRESULT hrStatus = 0;
};

struct OPCITEMHEADERWRITE {
    OPCHANDLE hClient = 0;
    HRESULT dwError = 0;
};

// Clipboard format names of the 1.0 streams.
inline constexpr const char OPCSTMFORMATDATA[] = "OPCSTMFORMATDATA";
inline constexpr const char OPCSTMFORMATDATATIME[] = "OPCSTMFORMATDATATIME";
inline constexpr const char OPCSTMFORMATWRITECOMPLETE[] = "OPCSTMFORMATWRITECOMPLETE";
