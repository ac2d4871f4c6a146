#ifndef MOX_TYPES_H
#define MOX_TYPES_H

// Fixed-width integer and identifier types shared by every component.

#include <cstdint>

typedef std::uint8_t Uint8;
typedef std::uint16_t Uint16;
typedef std::uint32_t Uint32;
typedef std::uint64_t Uint64;
typedef std::int8_t Sint8;
typedef std::int16_t Sint16;
typedef std::int32_t Sint32;
typedef std::int64_t Sint64;

#define MOX_MIN_UINT8 ((Uint8)0)
#define MOX_MAX_UINT8 ((Uint8)255)
#define MOX_MIN_UINT16 ((Uint16)0)
#define MOX_MAX_UINT16 ((Uint16)65535)
#define MOX_MIN_UINT32 ((Uint32)0)
#define MOX_MAX_UINT32 ((Uint32)4294967295U)
#define MOX_MIN_UINT64 ((Uint64)0)
#define MOX_MAX_UINT64 ((Uint64)18446744073709551615ULL)
#define MOX_MIN_SINT8 ((Sint8)(-128))
#define MOX_MAX_SINT8 ((Sint8)127)
#define MOX_MIN_SINT16 ((Sint16)(-32768))
#define MOX_MAX_SINT16 ((Sint16)32767)
#define MOX_MIN_SINT32 ((Sint32)(-2147483647 - 1))
#define MOX_MAX_SINT32 ((Sint32)2147483647)
#define MOX_MIN_SINT64 ((Sint64)(-9223372036854775807LL - 1))
#define MOX_MAX_SINT64 ((Sint64)9223372036854775807LL)

typedef Uint16 SegmentId;
typedef Uint16 PageId;
typedef SegmentId TableId;
typedef SegmentId IndexId;
typedef Uint8 SlotId;

#define MOX_MIN_TABLE_ID ((TableId)1)
#define MOX_MAX_TABLE_ID ((TableId)32767)
#define MOX_UNKNOWN_TABLE_ID ((TableId)0)
#define MOX_MIN_INDEX_ID ((IndexId)1)
#define MOX_MAX_INDEX_ID ((IndexId)16384)
#define MOX_UNKNOWN_INDEX_ID ((IndexId)0)

#define MOX_MIN_PAGE_ID ((PageId)0)
#define MOX_MAX_PAGE_ID ((PageId)65534)
#define MOX_INVALID_PAGE_ID ((PageId)65535)
#define MOX_INVALID_SLOT_ID ((SlotId)255)

enum MoxDataType { VARCHAR = 0, INTEGER = 1, UnknownDataType = 2 };

enum MoxIndexType { BTree = 0, Hash = 1, UnknownIndexType = 2 };

static_assert(sizeof(Uint8) == 1 && sizeof(Uint16) == 2 && sizeof(Uint32) == 4 && sizeof(Uint64) == 8);

#endif
