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

int MoxFileIo::openForAppend(const char* name, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Open, kind)) {
        strike(*effect, 0);
        return -1;
    }
    return ::open(name, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, creationMode);
}

namespace {

size_t writeAll(int descriptor, const char* data, size_t length) {
    size_t written = 0;
    while (written < length) {
        ssize_t step = ::write(descriptor, data + written, length - written);
        if (step < 0 && errno == EINTR) {
            continue;
        }
        if (step <= 0) {
            break;
        }
        written += static_cast<size_t>(step);
    }
    return written;
}

}  // namespace

size_t MoxFileIo::write(int descriptor, const void* data, size_t length, FileKind kind) {
    const char* bytes = static_cast<const char*>(data);
    if (const F::Effect* effect = F::due(F::Write, kind)) {
        size_t written = writeAll(descriptor, bytes, strike(*effect, length));
        errno = F::errorOf(*effect);
        return written;
    }
    return writeAll(descriptor, bytes, length);
}

off_t MoxFileIo::size(int descriptor, FileKind kind) {
    if (const F::Effect* effect = F::due(F::Size, kind)) {
        strike(*effect, 0);
        return -1;
    }
    return lseek(descriptor, 0, SEEK_END);
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
