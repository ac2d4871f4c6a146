#include "MoxFileManager.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "../support/MoxDatabasePath.h"
#include "../support/MoxError.h"
#include "../support/MoxFileIo.h"
#include "../support/MoxTrace.h"

static const MoxComponent componentId = FileManager;

static const MoxFileIo::FileKind segmentFile = MoxIoFaults::SegmentFile;

MoxFileManager* MoxFileManager::instance = nullptr;

MoxFileManager::MoxFileManager() : openFiles(), fileName(), segmentOffset(0) {
    MOX_TRACE_ENTRY();
}

MoxFileManager::~MoxFileManager() {
    MOX_TRACE_ENTRY();
    for (const FileSegment& entry : openFiles) {
        if (entry.handle != nullptr) {
            entry.handle->close();
            delete entry.handle;
        }
    }
    openFiles.clear();
    if (instance == this) {
        instance = nullptr;
    }
}

MoxFileManager* MoxFileManager::getInstance() {
    if (instance == nullptr) {
        instance = new MoxFileManager();
    }
    return instance;
}

MoxErrorCode MoxFileManager::create(SegmentId segment) {
    MOX_TRACE_ENTRY();
    if (findFileInList(segment) != openFiles.end()) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_ALREADY_EXISTS, static_cast<Uint32>(segment));
        return MOX_FM_FILE_ALREADY_EXISTS;
    }
    const char* name = getFileName(segment);
    if (name == nullptr) {
        return MoxGetErrorCode();
    }
    // Exclusive creation: a file that exists, also one that another process
    // creates at the same moment, is never truncated.
    int descriptor = MoxFileIo::createExclusive(name, segmentFile);
    if (descriptor < 0) {
        MoxErrorCode rc = errno == EEXIST ? MOX_FM_FILE_ALREADY_EXISTS : MOX_FM_FILE_CREATE_FAIL;
        MOX_SET_ERROR_TOKEN1(rc, static_cast<Uint32>(segment));
        return rc;
    }
    if (MoxFileIo::closeDescriptor(descriptor, segmentFile) != 0) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_CREATE_FAIL, static_cast<Uint32>(segment));
        return MOX_FM_FILE_CREATE_FAIL;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxFileManager::drop(SegmentId segment) {
    MOX_TRACE_ENTRY();
    if (findFileInList(segment) != openFiles.end()) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_STILL_OPEN, static_cast<Uint32>(segment));
        return MOX_FM_FILE_STILL_OPEN;
    }
    const char* name = getFileName(segment);
    if (name == nullptr) {
        return MoxGetErrorCode();
    }
    if (!exists(name)) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_FOUND, static_cast<Uint32>(segment));
        return MOX_FM_FILE_NOT_FOUND;
    }
    if (remove(name) != 0) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_DROP_FAIL, static_cast<Uint32>(segment));
        return MOX_FM_FILE_DROP_FAIL;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxFileManager::open(SegmentId segment) {
    MOX_TRACE_ENTRY();
    const char* name = getFileName(segment);
    if (name == nullptr) {
        return MoxGetErrorCode();
    }
    if (!exists(name)) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_FOUND, static_cast<Uint32>(segment));
        return MOX_FM_FILE_NOT_FOUND;
    }
    if (findFileInList(segment) != openFiles.end()) {
        return MOX_SUCCESS;
    }
    std::fstream* handle = new std::fstream();
    MoxFileIo::open(*handle, name, std::ios::in | std::ios::out | std::ios::binary, segmentFile);
    if (!handle->is_open()) {
        delete handle;
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_OPEN_FAIL, static_cast<Uint32>(segment));
        return MOX_FM_FILE_OPEN_FAIL;
    }
    openFiles.insert(FileSegment{segment, handle});
    return MOX_SUCCESS;
}

MoxErrorCode MoxFileManager::close(SegmentId segment) {
    MOX_TRACE_ENTRY();
    auto entry = findFileInList(segment);
    if (entry == openFiles.end()) {
        return MOX_SUCCESS;
    }
    std::fstream* handle = entry->handle;
    openFiles.erase(entry);
    MoxFileIo::close(*handle, segmentFile);
    bool failed = handle->fail();
    delete handle;
    if (failed) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_CLOSE_FAIL, static_cast<Uint32>(segment));
        return MOX_FM_FILE_CLOSE_FAIL;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxFileManager::read(SegmentId segment, PageId page, unsigned char* buffer) {
    MOX_TRACE_ENTRY();
    std::fstream* file = nullptr;
    Uint64 size = 0;
    MoxErrorCode rc = prepareAccess(segment, page, buffer, MOX_FM_FILE_READ_FAIL, file, size);
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    // A trailing partial page, left by a write that a crash cut short, is no
    // page: the whole pages before it stay readable.
    Uint64 pages = size / MOX_PAGE_SIZE;
    if (page >= pages) {
        std::string pagesText = std::to_string(pages);
        MOX_SET_ERROR_TOKEN3(MOX_FM_PAGE_NOT_EXISTS, static_cast<Uint32>(page), static_cast<Uint32>(segment),
                             pagesText.c_str());
        return MOX_FM_PAGE_NOT_EXISTS;
    }
    file->seekg(static_cast<std::streamoff>(page) * MOX_PAGE_SIZE);
    MoxFileIo::read(*file, reinterpret_cast<char*>(buffer), MOX_PAGE_SIZE, segmentFile);
    if (!*file) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_READ_FAIL, static_cast<Uint32>(segment));
        return MOX_FM_FILE_READ_FAIL;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxFileManager::write(SegmentId segment, PageId page, const unsigned char* buffer) {
    MOX_TRACE_ENTRY();
    std::fstream* file = nullptr;
    Uint64 size = 0;
    MoxErrorCode rc = prepareAccess(segment, page, buffer, MOX_FM_FILE_WRITE_FAIL, file, size);
    if (rc == MOX_SUCCESS && size % MOX_PAGE_SIZE != 0) {
        std::string sizeText = std::to_string(size);
        MOX_SET_ERROR_TOKEN3(MOX_FM_FILE_INVALID_SIZE, static_cast<Uint32>(segment), sizeText.c_str(),
                             static_cast<Uint32>(MOX_PAGE_SIZE));
        rc = MOX_FM_FILE_INVALID_SIZE;
    }
    if (rc != MOX_SUCCESS) {
        return rc;
    }
    static const char zeroPage[MOX_PAGE_SIZE] = {};
    const std::streamoff position = static_cast<std::streamoff>(page) * MOX_PAGE_SIZE;
    const bool extends = static_cast<Uint64>(position) + MOX_PAGE_SIZE > size;
    // What the page holds now, for a write that fails part way to put back.
    std::string before;
    if (!extends) {
        before.resize(MOX_PAGE_SIZE);
        file->seekg(position);
        MoxFileIo::read(*file, before.data(), MOX_PAGE_SIZE, segmentFile);
    }
    const bool read = static_cast<bool>(*file);
    file->seekp(static_cast<std::streamoff>(size));
    for (Uint64 pages = size / MOX_PAGE_SIZE; pages < page && *file; ++pages) {
        MoxFileIo::write(*file, zeroPage, MOX_PAGE_SIZE, segmentFile);
    }
    if (*file) {
        file->seekp(position);
        MoxFileIo::write(*file, reinterpret_cast<const char*>(buffer), MOX_PAGE_SIZE, segmentFile);
        // Another process may read this page from the file as soon as the
        // buffer pool latch is released: it must not wait in our stream.
        file->flush();
    }
    if (!*file) {
        if (extends) {
            restoreSize(*file, segment, size);
        } else if (read) {
            restorePage(*file, segment, position, before);
        }
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_WRITE_FAIL, static_cast<Uint32>(segment));
        return MOX_FM_FILE_WRITE_FAIL;
    }
    return MOX_SUCCESS;
}

MoxErrorCode MoxFileManager::getSize(SegmentId segment, Uint64& bytes) {
    MOX_TRACE_ENTRY();
    auto entry = findFileInList(segment);
    if (entry == openFiles.end()) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_OPEN, static_cast<Uint32>(segment));
        return MOX_FM_FILE_NOT_OPEN;
    }
    return getFileSize(*entry->handle, segment, MOX_FM_FILE_READ_FAIL, bytes);
}

void MoxFileManager::restoreSize(std::fstream& file, SegmentId segment, Uint64 size) {
    MOX_TRACE_ENTRY();
    // Closing drops what the stream still holds of the failed write (after
    // one more try to write it); the truncation then takes every byte past
    // the old end away again. The failure itself is reported by the caller.
    MoxFileIo::close(file, segmentFile);
    const char* name = getFileName(segment);
    if (name == nullptr) {
        return;
    }
    if (MoxFileIo::truncate(name, static_cast<off_t>(size), segmentFile) != 0) {
        MOX_TRACE_NUMBER(20, "truncate errno", static_cast<Sint32>(errno));
    }
    file.clear();
    MoxFileIo::open(file, name, std::ios::in | std::ios::out | std::ios::binary, segmentFile);
}

void MoxFileManager::restorePage(std::fstream& file, SegmentId segment, std::streamoff position,
                                 const std::string& before) {
    MOX_TRACE_ENTRY();
    // Reopened, the stream holds nothing more of the failed write; then the
    // page gets its old bytes back. A page left half new would carry the new
    // LSN in its header, and recovery would take all of it for written.
    MoxFileIo::close(file, segmentFile);
    const char* name = getFileName(segment);
    if (name == nullptr) {
        return;
    }
    file.clear();
    MoxFileIo::open(file, name, std::ios::in | std::ios::out | std::ios::binary, segmentFile);
    if (file) {
        file.seekp(position);
        MoxFileIo::write(file, before.data(), MOX_PAGE_SIZE, segmentFile);
        file.flush();
    }
    if (!file) {
        MOX_TRACE_STRING(20, "the page keeps what the failed write left of it");
    }
}

bool MoxFileManager::exists(const char* name) const {
    MOX_TRACE_ENTRY();
    if (name == nullptr) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return false;
    }
    MOX_TRACE_STRING(0, name);
    // Asked on every opening of a segment: one system call instead of the
    // two of opening and closing the file.
    return access(name, R_OK) == 0;
}

const char* MoxFileManager::getFileName(SegmentId segment) {
    MOX_TRACE_ENTRY();
    // Segment 0 is no segment; an entry for it would never be closed.
    if (segment == 0) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return nullptr;
    }
    if (segmentOffset == 0) {
        const char* directory = MoxGetDatabasePath();
        memset(fileName, 0, sizeof(fileName));
        size_t length = strlen(directory);
        if (length > maxDirectoryLength) {
            MOX_SET_ERROR_TOKEN2(MOX_FM_PATH_TOO_LONG, directory, maxDirectoryLength);
            return nullptr;
        }
        memcpy(fileName, directory, length);
        if (fileName[length - 1] == '/') {
            --length;
        }
        memcpy(fileName + length, "/Seg", 4);
        segmentOffset = static_cast<Uint32>(length + 4);
    }
    snprintf(fileName + segmentOffset, sizeof(fileName) - segmentOffset, MOX_FORMAT_UINT32 ".mox",
             static_cast<Uint32>(segment));
    MOX_TRACE_STRING(10, fileName);
    return fileName;
}

std::set<MoxFileManager::FileSegment, MoxFileManager::FileSegmentCompare>::iterator MoxFileManager::findFileInList(
    SegmentId segment) {
    MOX_TRACE_ENTRY();
    return openFiles.find(FileSegment{segment, nullptr});
}

MoxErrorCode MoxFileManager::prepareAccess(SegmentId segment, PageId page, const void* buffer, MoxErrorCode failure,
                                           std::fstream*& file, Uint64& size) {
    MOX_TRACE_ENTRY();
    if (buffer == nullptr || page > MOX_MAX_PAGE_ID) {
        MOX_SET_ERROR(MOX_PARAMETER_FAIL);
        return MOX_PARAMETER_FAIL;
    }
    auto entry = findFileInList(segment);
    if (entry == openFiles.end()) {
        MOX_SET_ERROR_TOKEN1(MOX_FM_FILE_NOT_OPEN, static_cast<Uint32>(segment));
        return MOX_FM_FILE_NOT_OPEN;
    }
    file = entry->handle;
    return getFileSize(*file, segment, failure, size);
}

MoxErrorCode MoxFileManager::getFileSize(std::fstream& file, SegmentId segment, MoxErrorCode failure, Uint64& size) {
    MOX_TRACE_ENTRY();
    // A failed earlier operation must not block this one.
    file.clear();
    std::streamoff end = MoxFileIo::size(file, segmentFile);
    if (!file || end < 0) {
        MOX_SET_ERROR_TOKEN1(failure, static_cast<Uint32>(segment));
        return failure;
    }
    size = static_cast<Uint64>(end);
    return MOX_SUCCESS;
}
