#ifndef MOX_H
#define MOX_H

// Helpers that every component uses.

#include "MoxComponents.h"
#include "MoxConfig.h"
#include "MoxString.h"
#include "MoxTypes.h"

// Function names in traces, error locations and exceptions are full
// signatures ("static void MoxSystem::stop(bool)"), not bare names.
#define __FUNCTION__ __PRETTY_FUNCTION__

// For structures laid out in shared memory or in page bytes. The data areas
// of the memory sets begin 17 bytes into their segments, behind the marker,
// so such structures are never naturally aligned: packed, the compiler
// accesses their fields byte-safely. Their layouts carry explicit padding,
// so packing moves no field.
#define MOX_PACKED __attribute__((packed))

template <typename T>
inline const T& MoxMin(const T& a, const T& b) {
    return (b < a) ? b : a;
}

template <typename T>
inline const T& MoxMax(const T& a, const T& b) {
    return (a < b) ? b : a;
}

// Forms that convert both arguments to one type first, for mixed operands.
#define MoxMin_t(type, a, b) MoxMin<type>(static_cast<type>(a), static_cast<type>(b))
#define MoxMax_t(type, a, b) MoxMax<type>(static_cast<type>(a), static_cast<type>(b))

// Decimal digits (with sign and spare) needed to print an integer of x's type.
#define MOX_DIGITS_OF_TYPE(x) (8 * sizeof(x) * 28 / 93 + 3)

#endif
