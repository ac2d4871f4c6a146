#ifndef MOX_STRING_H
#define MOX_STRING_H

// printf formats for the integer types of MoxTypes.h.

#define MOX_FORMAT_UINT8 "%hhu"
#define MOX_FORMAT_SINT8 "%hhd"
#define MOX_FORMAT_UINT16 "%hu"
#define MOX_FORMAT_SINT16 "%hd"
#define MOX_FORMAT_UINT32 "%u"
#define MOX_FORMAT_SINT32 "%d"
#define MOX_FORMAT_UINT64 "%llu"
#define MOX_FORMAT_SINT64 "%lld"

#define MOX_FORMAT_UINT8_WIDTH "%*hhu"
#define MOX_FORMAT_SINT8_WIDTH "%*hhd"
#define MOX_FORMAT_UINT16_WIDTH "%*hu"
#define MOX_FORMAT_SINT16_WIDTH "%*hd"
#define MOX_FORMAT_UINT32_WIDTH "%*u"
#define MOX_FORMAT_SINT32_WIDTH "%*d"
#define MOX_FORMAT_UINT64_WIDTH "%*llu"
#define MOX_FORMAT_SINT64_WIDTH "%*lld"

#define MOX_FORMAT_POINTER "%p"

#endif
