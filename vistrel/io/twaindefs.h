// The TWAIN 1.x data structures, triplet codes and constants the acquisition client speaks,
// laid out as the protocol lays them out: little-endian, packed to two bytes. Handles and
// memory references are pointers; a handle is a block of the C heap (freed with free()).
// No Qt here: the test source manager includes this header too.
#pragma once
#include <cstddef>
#include <cstdint>

using TW_INT8 = int8_t;
using TW_INT16 = int16_t;
using TW_INT32 = int32_t;
using TW_UINT8 = uint8_t;
using TW_UINT16 = uint16_t;
using TW_UINT32 = uint32_t;
using TW_BOOL = uint16_t;
using TW_HANDLE = void*;
using TW_MEMREF = void*;
using TW_STR32 = char[34];

#pragma pack(push, 2)

struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

struct TW_FRAME {
  TW_FIX32 Left, Top, Right, Bottom;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};

// Containers (the ItemList of an array or enumeration runs on past the structure).
struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};

struct TW_ENUMERATION {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1];
};

struct TW_ARRAY {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT8 ItemList[1];
};

struct TW_RANGE {
  TW_UINT16 ItemType;
  TW_UINT32 MinValue;
  TW_UINT32 MaxValue;
  TW_UINT32 StepSize;
  TW_UINT32 DefaultValue;
  TW_UINT32 CurrentValue;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 Reserved;
};

struct TW_SETUPMEMXFER {
  TW_UINT32 MinBufSize;
  TW_UINT32 MaxBufSize;
  TW_UINT32 Preferred;
};

struct TW_MEMORY {
  TW_UINT32 Flags;
  TW_UINT32 Length;
  TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
  TW_UINT16 Compression;
  TW_UINT32 BytesPerRow;
  TW_UINT32 Columns;
  TW_UINT32 Rows;
  TW_UINT32 XOffset;
  TW_UINT32 YOffset;
  TW_UINT32 BytesWritten;
  TW_MEMORY Memory;
};

struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
};

struct TW_IMAGELAYOUT {
  TW_FRAME Frame;
  TW_UINT32 DocumentNumber;
  TW_UINT32 PageNumber;
  TW_UINT32 FrameNumber;
};

#pragma pack(pop)

static_assert(sizeof(TW_IDENTITY) == 156, "identity record");
static_assert(offsetof(TW_IDENTITY, ProductName) == 122, "identity record");
static_assert(sizeof(TW_ONEVALUE) == 6 && sizeof(TW_RANGE) == 22, "containers");
static_assert(offsetof(TW_ENUMERATION, ItemList) == 14 && offsetof(TW_ARRAY, ItemList) == 6, "containers");
static_assert(sizeof(TW_IMAGEINFO) == 42, "image information");
static_assert(offsetof(TW_IMAGEMEMXFER, Memory) == 26, "memory transfer");
static_assert(sizeof(TW_IMAGELAYOUT) == 28, "image layout");

// The source manager's one entry point: origin, destination (null: the manager itself),
// data group, data argument type, message, data.
extern "C" {
typedef TW_UINT16 (*DSMENTRYPROC)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                  TW_MEMREF pData);
}

// Data groups.
constexpr TW_UINT32 DG_CONTROL = 0x0001, DG_IMAGE = 0x0002;

// Data argument types.
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001, DAT_EVENT = 0x0002, DAT_IDENTITY = 0x0003, DAT_PARENT = 0x0004,
                    DAT_PENDINGXFERS = 0x0005, DAT_SETUPMEMXFER = 0x0006, DAT_STATUS = 0x0008,
                    DAT_USERINTERFACE = 0x0009, DAT_IMAGEINFO = 0x0101, DAT_IMAGELAYOUT = 0x0102,
                    DAT_IMAGEMEMXFER = 0x0103, DAT_IMAGENATIVEXFER = 0x0104;

// Messages.
constexpr TW_UINT16 MSG_NULL = 0x0000, MSG_GET = 0x0001, MSG_GETCURRENT = 0x0002, MSG_GETDEFAULT = 0x0003,
                    MSG_GETFIRST = 0x0004, MSG_GETNEXT = 0x0005, MSG_SET = 0x0006, MSG_RESET = 0x0007,
                    MSG_XFERREADY = 0x0101, MSG_CLOSEDSREQ = 0x0102, MSG_CLOSEDSOK = 0x0103, MSG_OPENDSM = 0x0301,
                    MSG_CLOSEDSM = 0x0302, MSG_OPENDS = 0x0401, MSG_CLOSEDS = 0x0402, MSG_USERSELECT = 0x0403,
                    MSG_DISABLEDS = 0x0501, MSG_ENABLEDS = 0x0502, MSG_PROCESSEVENT = 0x0601, MSG_ENDXFER = 0x0701;

// Return codes.
constexpr TW_UINT16 TWRC_SUCCESS = 0, TWRC_FAILURE = 1, TWRC_CHECKSTATUS = 2, TWRC_CANCEL = 3, TWRC_DSEVENT = 4,
                    TWRC_NOTDSEVENT = 5, TWRC_XFERDONE = 6, TWRC_ENDOFLIST = 7;

// Condition codes.
constexpr TW_UINT16 TWCC_SUCCESS = 0, TWCC_BUMMER = 1, TWCC_LOWMEMORY = 2, TWCC_NODS = 3, TWCC_BADCAP = 6,
                    TWCC_BADVALUE = 10, TWCC_SEQERROR = 11;

// Container and item types.
constexpr TW_UINT16 TWON_ARRAY = 3, TWON_ENUMERATION = 4, TWON_ONEVALUE = 5, TWON_RANGE = 6, TWON_DONTCARE16 = 0xFFFF;
constexpr TW_UINT32 TWON_DONTCARE32 = 0xFFFFFFFFu;
constexpr TW_UINT16 TWTY_INT8 = 0, TWTY_INT16 = 1, TWTY_INT32 = 2, TWTY_UINT8 = 3, TWTY_UINT16 = 4, TWTY_UINT32 = 5,
                    TWTY_BOOL = 6, TWTY_FIX32 = 7;

// Capabilities.
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101, ICAP_UNITS = 0x0102, ICAP_XFERMECH = 0x0103, CAP_FEEDERENABLED = 0x1002,
                    CAP_INDICATORS = 0x100B, ICAP_GAMMA = 0x1108, ICAP_ORIENTATION = 0x1110,
                    ICAP_PHYSICALWIDTH = 0x1111, ICAP_PHYSICALHEIGHT = 0x1112, ICAP_XRESOLUTION = 0x1118,
                    ICAP_YRESOLUTION = 0x1119, ICAP_PIXELFLAVOR = 0x111F, ICAP_PLANARCHUNKY = 0x1120,
                    ICAP_XSCALING = 0x1124, ICAP_YSCALING = 0x1125, ICAP_BITDEPTH = 0x112B;

// Capability values.
constexpr TW_UINT16 TWUN_INCHES = 0, TWPF_CHOCOLATE = 0, TWPC_CHUNKY = 0, TWPT_BW = 0, TWPT_GRAY = 1, TWPT_RGB = 2,
                    TWSX_NATIVE = 0, TWSX_MEMORY = 2;
constexpr TW_BOOL TWAIN_TRUE = 0xFFFF;

// Memory flags of a memory transfer.
constexpr TW_UINT32 TWMF_APPOWNS = 0x0001, TWMF_HANDLE = 0x0010;

// Language and country of an identity.
constexpr TW_UINT16 TWLG_USA = 13, TWCY_USA = 1;
