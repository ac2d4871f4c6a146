#ifndef MOX_INDEX_INTEGER_TUPLE_IDENTIFIER_H
#define MOX_INDEX_INTEGER_TUPLE_IDENTIFIER_H

#include <cstddef>
#include <type_traits>

#include "../include/Mox.h"
#include "../record/TupleId.h"

// An entry of an integer leaf page: a key value and the record that carries
// it. Stored raw in the page. Comparisons look at the value only: two entries
// with one value are equal keys, whatever records they name.
struct MOX_PACKED MoxIndexIntegerTupleIdentifier {
    // A TupleId as the page stores it: pages lie at any address in the pool,
    // so the entry keeps its own byte-aligned copy of the layout.
    struct MOX_PACKED StoredTupleId {
        PageId page;    // 0-1
        SlotId slot;    // 2
        Uint8 padding;  // 3

        operator TupleId() const { return TupleId{page, slot}; }
        bool operator==(const TupleId& other) const { return page == other.page && slot == other.slot; }
    };

    MoxIndexIntegerTupleIdentifier() : value(0), tupleId{0, 0, 0} {}
    MoxIndexIntegerTupleIdentifier(Sint32 value, TupleId tupleId)
        : value(value), tupleId{tupleId.page, tupleId.slot, 0} {}

    bool operator==(Sint32 other) const { return value == other; }
    bool operator<(Sint32 other) const { return value < other; }
    bool operator<=(Sint32 other) const { return value <= other; }
    bool operator==(const MoxIndexIntegerTupleIdentifier& other) const { return value == other.value; }
    bool operator<(const MoxIndexIntegerTupleIdentifier& other) const { return value < other.value; }
    bool operator<=(const MoxIndexIntegerTupleIdentifier& other) const { return value <= other.value; }

    // "Value: v, TupleId: page, slot)" and a newline on standard output.
    void dump() const;

    Sint32 value;           // 0-3
    StoredTupleId tupleId;  // 4-7: page 4-5, slot 6, padding 7
};

static_assert(sizeof(MoxIndexIntegerTupleIdentifier) == 8);
static_assert(offsetof(MoxIndexIntegerTupleIdentifier, value) == 0);
static_assert(offsetof(MoxIndexIntegerTupleIdentifier, tupleId) == 4);
static_assert(offsetof(MoxIndexIntegerTupleIdentifier, tupleId) +
                  offsetof(MoxIndexIntegerTupleIdentifier::StoredTupleId, slot) ==
              6);
static_assert(std::is_trivially_copyable_v<MoxIndexIntegerTupleIdentifier> &&
              std::is_standard_layout_v<MoxIndexIntegerTupleIdentifier>);

#endif
