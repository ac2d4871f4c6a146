#ifndef MOX_INDEX_LIST_H
#define MOX_INDEX_LIST_H

#include "../include/Mox.h"

// One entry of circular doubly linked lists kept in an array in shared
// memory: the links are array indices, valid at any mapping address.
struct MOX_PACKED MoxIndexLink {
    Uint16 prev;  // 0-1: index of the previous entry
    Uint16 next;  // 2-3: index of the next entry
};

static_assert(sizeof(MoxIndexLink) == 4);

// Constant-time list operations on such an array. A head is an entry whose
// list is empty when it points to itself both ways. The caller serialises
// (the buffer pool latch) and checks indices; nothing here allocates.
class MoxIndexList {
  public:
    MoxIndexList() = delete;

    static void makeEmpty(MoxIndexLink* entries, Uint16 head) {
        entries[head].prev = head;
        entries[head].next = head;
    }

    // Links entries 0 to count-1 in ascending order behind head.
    static void fillAscending(MoxIndexLink* entries, Uint16 head, Uint16 count) {
        makeEmpty(entries, head);
        for (Uint16 i = 0; i < count; ++i) {
            linkBefore(entries, head, i);
        }
    }

    static bool isEmpty(const MoxIndexLink* entries, Uint16 head) { return entries[head].next == head; }

    // Takes index out of its list and leaves it pointing to itself.
    static void unlink(MoxIndexLink* entries, Uint16 index) {
        MoxIndexLink& entry = entries[index];
        entries[entry.prev].next = entry.next;
        entries[entry.next].prev = entry.prev;
        makeEmpty(entries, index);
    }

    // Moves index from its list to directly after head.
    static void moveAfter(MoxIndexLink* entries, Uint16 head, Uint16 index) {
        unlink(entries, index);
        Uint16 first = entries[head].next;
        entries[index].prev = head;
        entries[index].next = first;
        entries[first].prev = index;
        entries[head].next = index;
    }

  private:
    // Links an unlinked index in as the last entry of head's list.
    static void linkBefore(MoxIndexLink* entries, Uint16 head, Uint16 index) {
        Uint16 last = entries[head].prev;
        entries[index].prev = last;
        entries[index].next = head;
        entries[last].next = index;
        entries[head].prev = index;
    }
};

#endif
