#ifndef MOX_MEMORY_MANAGER_H
#define MOX_MEMORY_MANAGER_H

#include <cstddef>

#include "../include/Mox.h"

// Size of the lock list set: the whole lock list layout, a 424-byte header,
// 73,057 lock entries of 28 bytes and 101 waiting entries of 20 bytes. It is
// larger than MOX_LOCK_LIST_SIZE, which would cut off the waiting entries.
#define MOX_LOCK_LIST_SET_SIZE 2048040

// Length of the marker at each end of a segment: MOX_MEMORY_MARKER and its NUL.
#define MOX_MEMORY_MARKER_LENGTH 17
static_assert(sizeof(MOX_MEMORY_MARKER) == MOX_MEMORY_MARKER_LENGTH);

// Creates, attaches, detaches and removes the three shared memory sets that
// all processes of one database share. The System V keys come from the
// canonical database directory (MoxGetDatabasePath), so processes
// on the same directory meet in the same segments and others do not.
//
// A segment is a marker, the data area of `size` bytes (zero-filled when
// created) and a marker again; the layout of the data area belongs to the
// set's owner, which latches its changes with the MoxLatch at its front.
//
// One instance per process (getMemoryManager), never deleted; it takes no
// lock itself. A process attaches a set at most once at a time. Every
// operation throws MoxException on failure.
class MoxMemoryManager {
  public:
    // The value is also the project identifier of the set's key.
    enum MemorySet { BufferPool = 0, LockList = 1, LogFileHandling = 2 };

    // One row per set, private to the process.
    struct MemorySetAttributes {
        MemorySet setId;
        const char* name;  // used in messages
        size_t size;       // usable bytes of the data area
        int shmId;         // -1 while not known in this process
        void* ptr;         // attach address; nullptr while not attached
    };

    static MoxMemoryManager* getMemoryManager();

    // Creates the segment exclusively and writes its markers; leaves it detached.
    void createMemorySet(MemorySet set);
    // Removes the segment; processes still attached keep it until they detach.
    // A set that does not exist is left alone silently.
    void destroyMemorySet(MemorySet set);
    // Attaches the segment; address receives the start of its data area.
    void connectToMemorySet(MemorySet set, void*& address);
    void disconnectFromMemorySet(MemorySet set);
    // Gets (or with create, creates exclusively) the segment id and keeps it
    // in the set's row.
    void getShmId(MemorySet set, int& shmId, bool create);
    MemorySetAttributes& getSetProperties(MemorySet set) const;

  private:
    MoxMemoryManager() = default;

    // Forgets an id that the system no longer knows (the set was removed,
    // perhaps by another process, and may have been created anew), so that
    // the next look-up asks the system again. True if it was forgotten.
    static bool forgetRemovedId(MemorySetAttributes& row, int systemError);

    static MoxMemoryManager* instance;
    static MemorySetAttributes setProperties[3];
};

#endif
