#ifndef MOX_MEMORY_MANAGER_H
#define MOX_MEMORY_MANAGER_H

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "../include/Mox.h"

// The last bytes of every set's data area name the database that created
// it: its canonical directory, NUL-terminated. Keys made from a directory can
// collide with another directory's; this record keeps two databases from
// ever sharing a set. The owners' structures end before it.
#define MOX_MEMORY_OWNER_LENGTH 1024

// Size of the lock list set: the whole lock list layout, a 424-byte header,
// 73,057 lock entries of 28 bytes and 101 waiting entries of 20 bytes (it is
// larger than MOX_LOCK_LIST_SIZE, which would cut off the waiting entries),
// and the owner record behind it.
#define MOX_LOCK_LIST_SET_SIZE (2048040 + MOX_MEMORY_OWNER_LENGTH)

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
// set's owner, which latches its changes with the MoxLatch at its front,
// except for the owner record in its last MOX_MEMORY_OWNER_LENGTH bytes.
// Creating over, attaching or removing a set whose record names another
// directory fails with MOX_MM_SHM_OTHER_DATABASE.
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
    // The name of the set whose data area begins at data, if this process
    // has it attached; nullptr for any other address.
    const char* getSetNameAt(const void* data) const;

    // For tests only: from now on the set numbered n gets the key first + n,
    // whatever the directory, so that two directories can be made to share
    // keys. IPC_PRIVATE goes back to keys made from the directory.
    static void TEST_forceKeys(key_t first);

  private:
    MoxMemoryManager() = default;

    // The canonical database directory; MOX_MM_SHM_CREATE_FAIL when it
    // cannot be resolved.
    static std::string canonicalDirectory(const MemorySetAttributes& row);
    // Gets (or creates) the segment id of the directory's set.
    static int findSegment(MemorySetAttributes& row, const std::string& directory, bool create);
    // The directory that the segment attached at start belongs to.
    static std::string ownerAt(const MemorySetAttributes& row, const void* start);
    static void writeOwner(const MemorySetAttributes& row, void* start, const std::string& directory);
    // Reads the owner of segment id through a read-only attach (or this
    // process's own); returns the system error of a failed attach, else 0.
    static int readOwner(const MemorySetAttributes& row, int id, std::string& owner);
    [[noreturn]] static void refuseOtherDatabase(const MemorySetAttributes& row, int id, const std::string& owner,
                                                 const std::string& directory);

    // Forgets an id that the system no longer knows (the set was removed,
    // perhaps by another process, and may have been created anew), so that
    // the next look-up asks the system again. True if it was forgotten.
    static bool forgetRemovedId(MemorySetAttributes& row, int systemError);

    static MoxMemoryManager* instance;
    static MemorySetAttributes setProperties[3];
};

#endif
