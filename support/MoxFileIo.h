#ifndef MOX_FILE_IO_H
#define MOX_FILE_IO_H

#include <sys/types.h>

#include <cstdio>
#include <fstream>

#include "MoxIoFaults.h"

// Every operation on the database's own files, segment files and log files,
// goes through here: one place that decides how they are created and that
// tests can make fail (MoxIoFaults, in builds with MOX_FAULT_INJECTION).
// Each function does what the C library or stream call it wraps does and
// reports failure the same way (return value, stream state, errno).
//
// Files are created with creationMode: owner and group may read and write,
// others nothing, whatever the process's umask lets through beyond that.
// Probes whether a file exists are not file operations here and cannot fail
// by injection.
class MoxFileIo {
  public:
    typedef MoxIoFaults::FileKind FileKind;

    static constexpr mode_t creationMode = 0660;

    // Creates a file that must not exist yet, for writing; the descriptor,
    // or -1 (EEXIST when it exists).
    static int createExclusive(const char* name, FileKind kind);
    // close(2); the descriptor is closed also when it fails.
    static int closeDescriptor(int descriptor, FileKind kind);

    // Opens a file for reading and appending, creating it: every write goes
    // to its end, unbuffered. The descriptor, or -1.
    static int openForAppend(const char* name, FileKind kind);
    // Writes length bytes, resuming after a partial write or a signal;
    // returns how many were written, fewer on failure (errno set).
    static size_t write(int descriptor, const void* data, size_t length, FileKind kind);
    // The file's size, leaving the descriptor positioned at its end; -1 on
    // failure.
    static off_t size(int descriptor, FileKind kind);

    // Opens an existing file as a stream; failure leaves it closed with failbit set.
    static void open(std::fstream& stream, const char* name, std::ios::openmode mode, FileKind kind);
    static void open(std::ifstream& stream, const char* name, std::ios::openmode mode, FileKind kind);
    // Reads length bytes at the get position; failure sets the stream's state.
    static void read(std::istream& stream, char* data, std::streamsize length, FileKind kind);
    // Writes length bytes at the put position; failure sets badbit.
    static void write(std::ostream& stream, const char* data, std::streamsize length, FileKind kind);
    // The size of the stream's file, leaving the get position at its end;
    // -1 with failbit set on failure.
    static std::streamoff size(std::istream& stream, FileKind kind);
    // Closes the stream, handing over what it buffers; a failure sets failbit.
    static void close(std::fstream& stream, FileKind kind);

    // truncate(2).
    static int truncate(const char* name, off_t length, FileKind kind);
};

#endif
