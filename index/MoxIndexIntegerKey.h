#ifndef MOX_INDEX_INTEGER_KEY_H
#define MOX_INDEX_INTEGER_KEY_H

#include <cstddef>
#include <type_traits>

#include "../include/Mox.h"

// An entry of an integer inner node page: a separator value and the child
// page that holds the keys above it. Stored raw in the page; the padding
// is never written when an entry is stored.
struct MOX_PACKED MoxIndexIntegerKey {
    MoxIndexIntegerKey() : value(0), nextChild(0), padding(0) {}
    MoxIndexIntegerKey(Sint32 value, PageId nextChild) : value(value), nextChild(nextChild), padding(0) {}

    bool operator==(Sint32 other) const { return value == other; }
    bool operator<(Sint32 other) const { return value < other; }
    bool operator<=(Sint32 other) const { return value <= other; }
    bool operator==(const MoxIndexIntegerKey& other) const { return value == other.value; }
    bool operator<(const MoxIndexIntegerKey& other) const { return value < other.value; }
    bool operator<=(const MoxIndexIntegerKey& other) const { return value <= other.value; }

    // "Value: v, NextChild: c" and a newline on standard output.
    void dump() const;

    Sint32 value;      // 0-3
    PageId nextChild;  // 4-5
    Uint16 padding;    // 6-7
};

static_assert(sizeof(MoxIndexIntegerKey) == 8);
static_assert(offsetof(MoxIndexIntegerKey, value) == 0);
static_assert(offsetof(MoxIndexIntegerKey, nextChild) == 4);
static_assert(std::is_trivially_copyable_v<MoxIndexIntegerKey> && std::is_standard_layout_v<MoxIndexIntegerKey>);

#endif
