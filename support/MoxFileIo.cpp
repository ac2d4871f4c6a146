#include "MoxFileIo.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

typedef MoxIoFaults F;

namespace {

// Sets errno as the failing call would and gives the bytes of a short write:
// half the request, the rest lost as the disk filled.
size_t strike(F::Effect effect, size_t length) {
    errno = F::errorOf(effect);
    return effect == F::ShortWrite ? length / 2 : 0;
}

}  // namespace

int MoxFileIo::createExclusive(const char* name, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Open, kind)) {
        strike(*effect, 0);
        return -1;
    }
    return ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, creationMode);
}

int MoxFileIo::closeDescriptor(int descriptor, FileKind kind) {
    int rc = ::close(descriptor);
    if (const F::Effect* effect = F::due(F::Close, kind)) {
        strike(*effect, 0);
        return -1;
    }
    return rc;
}

FILE* MoxFileIo::openForAppend(const char* name, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Open, kind)) {
        strike(*effect, 0);
        return nullptr;
    }
    int descriptor = ::open(name, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, creationMode);
    if (descriptor < 0) {
        return nullptr;
    }
    FILE* file = fdopen(descriptor, "a+b");
    if (file == nullptr) {
        int error = errno;
        ::close(descriptor);
        errno = error;
    }
    return file;
}

size_t MoxFileIo::write(FILE* file, const void* data, size_t length, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Write, kind)) {
        size_t written = fwrite(data, 1, strike(*effect, length), file);
        errno = F::errorOf(*effect);
        return written;
    }
    return fwrite(data, 1, length, file);
}

long MoxFileIo::size(FILE* file, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Size, kind)) {
        strike(*effect, 0);
        return -1;
    }
    return ftell(file);
}

int MoxFileIo::close(FILE* file, FileKind kind) {
    int rc = fclose(file);
    if (const F::Effect* effect = F::due(F::Close, kind)) {
        strike(*effect, 0);
        return EOF;
    }
    return rc;
}

void MoxFileIo::open(std::fstream& stream, const char* name, std::ios::openmode mode, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Open, kind)) {
        strike(*effect, 0);
        stream.setstate(std::ios::failbit);
        return;
    }
    stream.open(name, mode);
}

void MoxFileIo::open(std::ifstream& stream, const char* name, std::ios::openmode mode, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Open, kind)) {
        strike(*effect, 0);
        stream.setstate(std::ios::failbit);
        return;
    }
    stream.open(name, mode);
}

void MoxFileIo::read(std::istream& stream, char* data, std::streamsize length, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Read, kind)) {
        strike(*effect, 0);
        stream.setstate(std::ios::badbit);
        return;
    }
    stream.read(data, length);
}

void MoxFileIo::write(std::ostream& stream, const char* data, std::streamsize length, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Write, kind)) {
        // What got through must be in the file, as after a real short write.
        stream.write(data, static_cast<std::streamsize>(strike(*effect, static_cast<size_t>(length))));
        stream.flush();
        errno = F::errorOf(*effect);
        stream.setstate(std::ios::badbit);
        return;
    }
    stream.write(data, length);
}

std::streamoff MoxFileIo::size(std::istream& stream, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Size, kind)) {
        strike(*effect, 0);
        stream.setstate(std::ios::failbit);
        return -1;
    }
    stream.seekg(0, std::ios::end);
    return stream.tellg();
}

void MoxFileIo::close(std::fstream& stream, FileKind kind) {
    stream.close();
    if (const F::Effect* effect = F::due(F::Close, kind)) {
        strike(*effect, 0);
        stream.setstate(std::ios::failbit);
    }
}

int MoxFileIo::truncate(const char* name, off_t length, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Truncate, kind)) {
        strike(*effect, 0);
        return -1;
    }
    return ::truncate(name, length);
}
