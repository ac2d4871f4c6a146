#ifndef MOX_FILE_MANAGER_H
#define MOX_FILE_MANAGER_H

#include <fstream>
#include <set>
#include <string>

#include "../include/Mox.h"
#include "MoxErrorCodes.h"

// Names, creates, removes, opens and closes the segment files of the database
// directory and reads and writes them page by page. A segment file holds raw
// 4096-byte pages and nothing else: page n is bytes n*4096 to (n+1)*4096.
//
// One per process, created by getInstance on first use and deleted by the
// system stop; the buffer manager is its only client and serialises page
// access across processes. Every operation returns a code that is also set
// in the error object, and none throws.
class MoxFileManager {
  public:
    static MoxFileManager* getInstance();
    // Whether the process has a manager, so that stopping deletes only one that exists.
    static bool hasInstance() { return instance != nullptr; }

    // Closes every open file.
    ~MoxFileManager();
    MoxFileManager(const MoxFileManager&) = delete;
    MoxFileManager& operator=(const MoxFileManager&) = delete;

    // Creates the segment's empty file without opening it.
    MoxErrorCode create(SegmentId segment);
    // Removes the segment's file, which must not be open.
    MoxErrorCode drop(SegmentId segment);
    // Opens the file for reading and writing; an open segment stays as it is.
    MoxErrorCode open(SegmentId segment);
    // Closes the file; a segment that is not open is left alone.
    MoxErrorCode close(SegmentId segment);
    // Reads page `page` into buffer (4096 bytes). A partial page at the end
    // of the file does not exist.
    MoxErrorCode read(SegmentId segment, PageId page, unsigned char* buffer);
    // Writes buffer (4096 bytes) as page `page`, first filling the file up to
    // it with zero pages. The page is handed to the file before returning, so
    // other processes read it at once. A file that is no whole number of
    // pages is refused (MOX_FM_FILE_INVALID_SIZE); a failed write that
    // extended the file leaves it at its size before the write, and one over
    // an existing page puts the page's old bytes back (read first, so a
    // failed read also fails the write, with nothing written).
    MoxErrorCode write(SegmentId segment, PageId page, const unsigned char* buffer);
    // The size in bytes of an open segment's file, partial page included.
    MoxErrorCode getSize(SegmentId segment, Uint64& bytes);

  private:
    // Tests read the built file names.
    friend class MoxFileManagerTest;

    struct FileSegment {
        SegmentId segmentId = 0;
        std::fstream* handle = nullptr;  // owned by the manager
    };
    struct FileSegmentCompare {
        bool operator()(const FileSegment& a, const FileSegment& b) const { return a.segmentId < b.segmentId; }
    };

    // Room in fileName for the directory: the rest is "/Seg", five digits,
    // ".mox" and the terminator, with spare.
    static constexpr Uint32 fileNameLength = 1000;
    static constexpr Uint32 maxDirectoryLength = 978;

    MoxFileManager();

    bool exists(const char* name) const;
    // Builds the segment's file name in fileName; nullptr (error set) for
    // segment 0 or when the directory is too long. The directory is read on the first successful call only.
    const char* getFileName(SegmentId segment);
    std::set<FileSegment, FileSegmentCompare>::iterator findFileInList(SegmentId segment);
    // Checks the arguments of a page access and finds the segment's open file
    // and its size; failure names a failing size look-up.
    MoxErrorCode prepareAccess(SegmentId segment, PageId page, const void* buffer, MoxErrorCode failure,
                               std::fstream*& file, Uint64& size);
    // The file's size in bytes; sets `failure` when it cannot be found.
    MoxErrorCode getFileSize(std::fstream& file, SegmentId segment, MoxErrorCode failure, Uint64& size);
    // Gives the file its size from before a failed extension back and opens
    // it again, so that no partial page is left at its end.
    void restoreSize(std::fstream& file, SegmentId segment, Uint64 size);
    // Writes a page's bytes from before a failed overwrite back, after
    // opening the file again; a failure here is traced, the caller reports
    // the write's.
    void restorePage(std::fstream& file, SegmentId segment, std::streamoff position, const std::string& before);

    static MoxFileManager* instance;

    std::set<FileSegment, FileSegmentCompare> openFiles;
    char fileName[fileNameLength];
    Uint32 segmentOffset;
};

#endif
