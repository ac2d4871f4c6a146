#include "MoxMemoryManager.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "MoxDatabasePath.h"
#include "MoxException.h"
#include "MoxTrace.h"

static const MoxComponent componentId = Support;

// Longest canonical database directory that keys are made from; with its
// NUL it fits the owner record of a set.
static const size_t maximumPathLength = 1024;
static_assert(maximumPathLength == MOX_MEMORY_OWNER_LENGTH);

static void* const notAttached = reinterpret_cast<void*>(-1);

// The key of set 0 while a test forces the keys; IPC_PRIVATE otherwise.
static key_t forcedFirstKey = IPC_PRIVATE;

MoxMemoryManager* MoxMemoryManager::instance = nullptr;

MoxMemoryManager::MemorySetAttributes MoxMemoryManager::setProperties[3] = {
    {BufferPool, "Buffer Pool", MOX_BUFFER_POOL_SIZE, -1, nullptr},
    {LockList, "Lock List", MOX_LOCK_LIST_SET_SIZE, -1, nullptr},
    {LogFileHandling, "Log File Handling", MOX_LOG_FILE_HANDLING_SIZE, -1, nullptr},
};

MoxMemoryManager* MoxMemoryManager::getMemoryManager() {
    if (instance == nullptr) {
        instance = new MoxMemoryManager();
    }
    return instance;
}

bool MoxMemoryManager::forgetRemovedId(MemorySetAttributes& row, int systemError) {
    if (systemError != EINVAL && systemError != EIDRM) {
        return false;
    }
    row.shmId = -1;
    return true;
}

std::string MoxMemoryManager::canonicalDirectory(const MemorySetAttributes& row) {
    MOX_TRACE_ENTRY();
    // realpath allocates, so that a long path cannot overrun a fixed buffer.
    char* canonicalPath = realpath(MoxGetDatabasePath(), nullptr);
    int error = errno;
    if (canonicalPath != nullptr && strlen(canonicalPath) >= maximumPathLength) {
        error = ENAMETOOLONG;
        free(canonicalPath);
        canonicalPath = nullptr;
    }
    if (canonicalPath == nullptr) {
        THROW_wARGS4(MOX_MM_SHM_CREATE_FAIL, row.name, static_cast<int>(row.setId), error, strerror(error));
    }
    std::string directory(canonicalPath);
    free(canonicalPath);
    return directory;
}

int MoxMemoryManager::findSegment(MemorySetAttributes& row, const std::string& directory, bool create) {
    MOX_TRACE_ENTRY();
    int set = static_cast<int>(row.setId);
    int flags = 0660 | (create ? IPC_CREAT | IPC_EXCL : 0);
    MOX_TRACE_NUMBER(1, "memory set", static_cast<Uint32>(set));
    MOX_TRACE_NUMBER(1, "flags", static_cast<Uint32>(flags));
    key_t key = forcedFirstKey != IPC_PRIVATE ? forcedFirstKey + set : ftok(directory.c_str(), set);
    int error = errno;
    if (key == -1) {
        THROW_wARGS4(MOX_MM_SHM_CREATE_FAIL, row.name, set, error, strerror(error));
    }
    MOX_TRACE_NUMBER(10, "key", static_cast<Sint32>(key));

    int id = shmget(key, row.size + 2 * MOX_MEMORY_MARKER_LENGTH, flags);
    if (id == -1) {
        error = errno;
        if (create) {
            // A set of another directory under this key is no set of ours
            // that already exists: name both directories.
            std::string owner;
            int existing = error == EEXIST ? shmget(key, 0, 0) : -1;
            if (existing != -1 && readOwner(row, existing, owner) == 0 && owner != directory) {
                refuseOtherDatabase(row, existing, owner, directory);
            }
            THROW_wARGS4(MOX_MM_SHM_CREATE_FAIL, row.name, set, error, strerror(error));
        }
        THROW_wARGS3(MOX_MM_SHM_GETID_FAIL, row.name, error, strerror(error));
    }
    MOX_TRACE_NUMBER(20, "shm id", static_cast<Sint32>(id));
    row.shmId = id;
    return id;
}

void MoxMemoryManager::getShmId(MemorySet set, int& shmId, bool create) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    shmId = findSegment(row, canonicalDirectory(row), create);
}

std::string MoxMemoryManager::ownerAt(const MemorySetAttributes& row, const void* start) {
    const char* record =
        static_cast<const char*>(start) + MOX_MEMORY_MARKER_LENGTH + row.size - MOX_MEMORY_OWNER_LENGTH;
    // Bounded: the record is shared memory that any process may have damaged.
    return std::string(record, strnlen(record, MOX_MEMORY_OWNER_LENGTH));
}

void MoxMemoryManager::writeOwner(const MemorySetAttributes& row, void* start, const std::string& directory) {
    char* record = static_cast<char*>(start) + MOX_MEMORY_MARKER_LENGTH + row.size - MOX_MEMORY_OWNER_LENGTH;
    memcpy(record, directory.c_str(), directory.size() + 1);
}

int MoxMemoryManager::readOwner(const MemorySetAttributes& row, int id, std::string& owner) {
    MOX_TRACE_ENTRY();
    if (row.ptr != nullptr && id == row.shmId) {
        owner = ownerAt(row, row.ptr);
        return 0;
    }
    void* start = shmat(id, nullptr, SHM_RDONLY);
    if (start == notAttached) {
        return errno;
    }
    owner = ownerAt(row, start);
    shmdt(start);
    return 0;
}

void MoxMemoryManager::refuseOtherDatabase(const MemorySetAttributes& row, int id, const std::string& owner,
                                           const std::string& directory) {
    THROW_wARGS4(MOX_MM_SHM_OTHER_DATABASE, row.name, id, owner, directory);
}

void MoxMemoryManager::createMemorySet(MemorySet set) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    std::string directory = canonicalDirectory(row);
    int id = findSegment(row, directory, true);
    void* start = shmat(id, nullptr, 0);
    if (start == notAttached) {
        int error = errno;
        // A set without markers must not pass for a created one.
        shmctl(id, IPC_RMID, nullptr);
        row.shmId = -1;
        THROW_wARGS4(MOX_MM_SHM_CONNECT_FAIL, row.name, id, error, strerror(error));
    }
    char* bytes = static_cast<char*>(start);
    memcpy(bytes, MOX_MEMORY_MARKER, MOX_MEMORY_MARKER_LENGTH);
    memcpy(bytes + MOX_MEMORY_MARKER_LENGTH + row.size, MOX_MEMORY_MARKER, MOX_MEMORY_MARKER_LENGTH);
    writeOwner(row, start, directory);
    if (shmdt(start) != 0) {
        int error = errno;
        THROW_wARGS4(MOX_MM_SHM_DISCONNECT_FAIL, row.name, id, error, strerror(error));
    }
}

void MoxMemoryManager::destroyMemorySet(MemorySet set) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    std::string directory = canonicalDirectory(row);
    // The second round follows a remembered id that the system no longer
    // knows, or that leads to another directory's set.
    for (int round = 0; round < 2; ++round) {
        if (row.shmId == -1) {
            try {
                findSegment(row, directory, false);
            } catch (const MoxException& exception) {
                if (exception.getErrorCode() == MOX_MM_SHM_GETID_FAIL) {
                    return;
                }
                throw;
            }
        }
        std::string owner;
        int error = readOwner(row, row.shmId, owner);
        if (error != 0) {
            if (round == 0 && forgetRemovedId(row, error)) {
                continue;
            }
            THROW_wARGS4(MOX_MM_SHM_CONNECT_FAIL, row.name, row.shmId, error, strerror(error));
        }
        if (owner != directory) {
            if (round == 0 && row.ptr == nullptr) {
                row.shmId = -1;
                continue;
            }
            refuseOtherDatabase(row, row.shmId, owner, directory);
        }
        int rc = shmctl(row.shmId, IPC_RMID, nullptr);
        error = errno;
        if (rc == 0) {
            // An attached process still needs the id to detach.
            if (row.ptr == nullptr) {
                row.shmId = -1;
            }
            return;
        }
        if (round == 0 && forgetRemovedId(row, error)) {
            continue;
        }
        MOX_TRACE_NUMBER(30, "Rc von 'shmctl'", static_cast<Sint32>(rc));
        MOX_TRACE_NUMBER(30, "Shm ID", static_cast<Sint32>(row.shmId));
        MOX_TRACE_NUMBER(30, "errno", static_cast<Sint32>(error));
        THROW_wARGS4(MOX_MM_SHM_DESTROY_WARN, row.name, row.shmId, error, strerror(error));
    }
}

void MoxMemoryManager::connectToMemorySet(MemorySet set, void*& address) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    if (row.ptr != nullptr) {
        THROW_wARGS2(MOX_MM_SHM_ALREADY_ATTACHED, row.name, row.shmId);
    }
    std::string directory;
    try {
        directory = canonicalDirectory(row);
    } catch (const MoxException&) {
        THROW_wARGS1(MOX_MM_SHM_NOT_EXISTS, row.name);
    }
    // The second round follows a remembered id that the system no longer
    // knows, or that leads to another directory's set.
    for (int round = 0; round < 2; ++round) {
        if (row.shmId < 0) {
            try {
                findSegment(row, directory, false);
            } catch (const MoxException&) {
                THROW_wARGS1(MOX_MM_SHM_NOT_EXISTS, row.name);
            }
        }
        int id = row.shmId;
        void* start = shmat(id, nullptr, 0);
        int error = errno;
        if (start != notAttached) {
            std::string owner = ownerAt(row, start);
            if (owner != directory) {
                shmdt(start);
                if (round == 0) {
                    row.shmId = -1;
                    continue;
                }
                refuseOtherDatabase(row, id, owner, directory);
            }
            row.ptr = start;
            address = static_cast<char*>(start) + MOX_MEMORY_MARKER_LENGTH;
            return;
        }
        if (round == 0 && forgetRemovedId(row, error)) {
            continue;
        }
        THROW_wARGS4(MOX_MM_SHM_CONNECT_FAIL, row.name, id, error, strerror(error));
    }
}

void MoxMemoryManager::disconnectFromMemorySet(MemorySet set) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    if (row.ptr == nullptr) {
        THROW_wARGS1(MOX_MM_SHM_NOT_ATTACHED, row.name);
    }
    if (row.shmId < 0) {
        THROW_wARGS1(MOX_MM_SHM_NOT_EXISTS, row.name);
    }
    if (shmdt(row.ptr) != 0) {
        int error = errno;
        // EINVAL: nothing is attached there any more.
        if (error != EINVAL) {
            THROW_wARGS4(MOX_MM_SHM_DISCONNECT_FAIL, row.name, row.shmId, error, strerror(error));
        }
    }
    row.ptr = nullptr;
}

const char* MoxMemoryManager::getSetNameAt(const void* data) const {
    for (const MemorySetAttributes& row : setProperties) {
        if (row.ptr != nullptr && static_cast<const char*>(row.ptr) + MOX_MEMORY_MARKER_LENGTH == data) {
            return row.name;
        }
    }
    return nullptr;
}

void MoxMemoryManager::TEST_forceKeys(key_t first) {
    forcedFirstKey = first;
}

MoxMemoryManager::MemorySetAttributes& MoxMemoryManager::getSetProperties(MemorySet set) const {
    MOX_TRACE_ENTRY();
    for (MemorySetAttributes& row : setProperties) {
        if (row.setId == set) {
            MOX_TRACE_DATA1(10, sizeof(row), &row);
            return row;
        }
    }
    THROW(MOX_INTERNAL_FAIL);
}
