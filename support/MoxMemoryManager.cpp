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

// Longest canonical database directory that keys are made from.
static const size_t maximumPathLength = 1024;

static void* const notAttached = reinterpret_cast<void*>(-1);

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

void MoxMemoryManager::getShmId(MemorySet set, int& shmId, bool create) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    int flags = 0660 | (create ? IPC_CREAT | IPC_EXCL : 0);
    MOX_TRACE_NUMBER(1, "memory set", static_cast<Uint32>(set));
    MOX_TRACE_NUMBER(1, "flags", static_cast<Uint32>(flags));

    const char* path = MoxGetDatabasePath();
    // realpath allocates, so that a long path cannot overrun a fixed buffer.
    char* canonicalPath = realpath(path, nullptr);
    int error = errno;
    if (canonicalPath != nullptr && strlen(canonicalPath) >= maximumPathLength) {
        error = ENAMETOOLONG;
        free(canonicalPath);
        canonicalPath = nullptr;
    }
    if (canonicalPath == nullptr) {
        THROW_wARGS4(MOX_MM_SHM_CREATE_FAIL, row.name, static_cast<int>(set), error, strerror(error));
    }
    key_t key = ftok(canonicalPath, static_cast<int>(set));
    error = errno;
    free(canonicalPath);
    if (key == -1) {
        THROW_wARGS4(MOX_MM_SHM_CREATE_FAIL, row.name, static_cast<int>(set), error, strerror(error));
    }
    MOX_TRACE_NUMBER(10, "key", static_cast<Sint32>(key));

    int id = shmget(key, row.size + 2 * MOX_MEMORY_MARKER_LENGTH, flags);
    if (id == -1) {
        error = errno;
        if (create) {
            THROW_wARGS4(MOX_MM_SHM_CREATE_FAIL, row.name, static_cast<int>(set), error, strerror(error));
        }
        THROW_wARGS3(MOX_MM_SHM_GETID_FAIL, row.name, error, strerror(error));
    }
    MOX_TRACE_NUMBER(20, "shm id", static_cast<Sint32>(id));
    row.shmId = id;
    shmId = id;
}

void MoxMemoryManager::createMemorySet(MemorySet set) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    int id = -1;
    getShmId(set, id, true);
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
    if (shmdt(start) != 0) {
        int error = errno;
        THROW_wARGS4(MOX_MM_SHM_DISCONNECT_FAIL, row.name, id, error, strerror(error));
    }
}

void MoxMemoryManager::destroyMemorySet(MemorySet set) {
    MOX_TRACE_ENTRY();
    MemorySetAttributes& row = getSetProperties(set);
    // The second round follows a remembered id that the system no longer knows.
    for (int round = 0; round < 2; ++round) {
        if (row.shmId == -1) {
            int id = -1;
            try {
                getShmId(set, id, false);
            } catch (const MoxException& exception) {
                if (exception.getErrorCode() == MOX_MM_SHM_GETID_FAIL) {
                    return;
                }
                throw;
            }
        }
        int rc = shmctl(row.shmId, IPC_RMID, nullptr);
        int error = errno;
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
    // The second round follows a remembered id that the system no longer knows.
    for (int round = 0; round < 2; ++round) {
        if (row.shmId < 0) {
            int id = -1;
            try {
                getShmId(set, id, false);
            } catch (const MoxException&) {
                THROW_wARGS1(MOX_MM_SHM_NOT_EXISTS, row.name);
            }
        }
        int id = row.shmId;
        void* start = shmat(id, nullptr, 0);
        int error = errno;
        if (start != notAttached) {
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
