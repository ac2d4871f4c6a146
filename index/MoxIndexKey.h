#ifndef MOX_INDEX_KEY_H
#define MOX_INDEX_KEY_H

#include "../include/Mox.h"

// A value that a B-tree orders: a 32-bit integer or a NUL-terminated string,
// as dataType says. Callers build a key by setting dataType and one of the two
// value fields; a string set that way is borrowed (ownChar false) and must
// outlive the key. Copies own their string.
//
// Comparisons dispatch on the type of the other operand. Mixed types, and
// keys of UnknownDataType or VARCHAR keys without a string, never throw: the
// comparison records MOX_INTERNAL_FAIL for the index manager in the error
// object and yields false. Used by one thread.
class MoxIndexKey {
  public:
    // ownChar false, UnknownDataType, intKey 0, no string.
    MoxIndexKey() = default;
    explicit MoxIndexKey(Sint32 value) : dataType(INTEGER), intKey(value) {}
    // Borrows text, which must outlive the key.
    explicit MoxIndexKey(const char* text) : dataType(VARCHAR), varcharKey(const_cast<char*>(text)) {}
    MoxIndexKey(const MoxIndexKey& other);
    // Copies the type and the value; a string is copied into a buffer of
    // the key's own. Assigning from an UnknownDataType key records
    // MOX_INTERNAL_FAIL and leaves this key without a value.
    MoxIndexKey& operator=(const MoxIndexKey& other);
    ~MoxIndexKey();

    bool operator<(const MoxIndexKey& other) const;
    bool operator<(Sint32 value) const;
    bool operator<(const char* text) const;
    bool operator==(const MoxIndexKey& other) const;
    bool operator==(Sint32 value) const;
    bool operator==(const char* text) const;
    bool operator<=(const MoxIndexKey& other) const;
    bool operator<=(const char* text) const;

    bool ownChar = false;
    MoxDataType dataType = UnknownDataType;
    Sint32 intKey = 0;
    char* varcharKey = nullptr;

  private:
    // Frees an owned string and forgets the value.
    void clear();
    // Whether this is a VARCHAR key with a string and text exists.
    bool holdsText(const char* text) const;
};

#endif
