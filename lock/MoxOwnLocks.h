#ifndef MOX_OWN_LOCKS_H
#define MOX_OWN_LOCKS_H

#include <unordered_map>
#include <vector>

#include "MoxLockListLayout.h"

// The lock entries that this process inserted into the shared list and has
// not deleted, by object and type, in the order of insertion. Only the
// process that runs a transaction inserts or deletes that transaction's
// entries, so between two of this process's operations the index and the
// list agree on them: what the process's own transaction holds is known
// here without the list latch and without a walk of a bucket chain, whose
// length grows with every lock of every transaction in it.
//
// Used by the lock manager only; one thread per process.
class MoxOwnLocks : public MoxLockTypes {
  public:
    void add(const MoxLockObject& object, Uint32 entry, LockType type, const MoxTransactionId& transaction);
    void remove(const MoxLockObject& object, Uint32 entry, LockType type);
    // Also when the transaction's locks are all released, which frees the
    // places of its objects.
    void clear() { byObject.clear(); }

    // The transaction's newest entry on the object, or MOX_LOCK_LIST_END;
    // with a type, its newest entry of that type.
    Uint32 newest(const MoxTransactionId& transaction, const MoxLockObject& object) const;
    Uint32 newestOfType(const MoxTransactionId& transaction, LockType type, const MoxLockObject& object) const;
    // The type of the transaction's newest entry on the object; false if it
    // holds none.
    bool newestType(const MoxTransactionId& transaction, const MoxLockObject& object, LockType& type) const;
    // How many entries the transaction holds on the object.
    Uint32 count(const MoxTransactionId& transaction, const MoxLockObject& object) const;

  private:
    static constexpr int typeCount = 4;
    // Beyond this many objects, one whose last entry goes loses its place.
    static constexpr size_t keptPlaces = 4096;

    struct Held {
        Uint32 entry;
        Uint64 insertion;  // orders the entries of different types
        MoxTransactionId transaction;
    };
    typedef std::vector<Held> HeldList;
    struct ObjectLocks {
        HeldList byType[typeCount];
    };

    static Uint64 keyOf(const MoxLockObject& object) {
        return (static_cast<Uint64>(object.segment) << 24) | (static_cast<Uint64>(object.page) << 8) | object.slot;
    }
    const ObjectLocks* find(const MoxLockObject& object) const;
    // The transaction's newest entry of the list, or none.
    static const Held* newestIn(const HeldList& held, const MoxTransactionId& transaction);

    std::unordered_map<Uint64, ObjectLocks> byObject;
    Uint64 insertions = 0;
};

#endif
