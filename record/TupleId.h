#ifndef MOX_TUPLE_ID_H
#define MOX_TUPLE_ID_H

#include <cstddef>

#include "../include/MoxTypes.h"

// The address of a record: page and slot within the table's segment. Stored
// raw as 4 bytes (page, slot, one padding byte). (0,0) never names a record,
// since page 0 of a table is a free space inventory page.
struct TupleId {
    PageId page = 0;    // 0-1
    SlotId slot = 0;    // 2
    Uint8 padding = 0;  // 3

    bool operator==(const TupleId& other) const { return page == other.page && slot == other.slot; }
};

static_assert(sizeof(TupleId) == 4);
static_assert(offsetof(TupleId, page) == 0);
static_assert(offsetof(TupleId, slot) == 2);

#endif
