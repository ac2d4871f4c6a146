#include "MoxLogFileScanner.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "../support/MoxTrace.h"

static const MoxComponent componentId = LogManager;

// Digits of the largest length a field may claim.
static const size_t maxLengthDigits = 10;

MoxLogFileScanner::MoxLogFileScanner(Uint16 filenumber, const char* data, size_t size, size_t firstOffset)
    : filenumber(filenumber), data(data), size(size), firstOffset(firstOffset), position(0), imagesEnd(0) {}

namespace {

bool isDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "a,b" of digits, a with a sign if allowed; with `halves`, either number may
// be missing (the form of an absent tuple id).
bool isPair(std::string_view text, bool signedFirst, bool halves) {
    size_t comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    std::string_view first = text.substr(0, comma);
    std::string_view second = text.substr(comma + 1);
    if (signedFirst && !first.empty() && first[0] == '-') first.remove_prefix(1);
    return (isDigits(first) || (halves && first.empty())) && (isDigits(second) || (halves && second.empty()));
}

bool isOptionalPair(std::string_view text) {
    return text.empty() || isPair(text, false, true);
}

}  // namespace

bool MoxLogFileScanner::next(Fields& fields) {
    MOX_TRACE_ENTRY();
    while (position < size) {
        size_t end = 0;
        // A line that begins inside the images of a damaged entry holds image
        // bytes, which may look like an entry; there only an entry that names
        // its own position is trusted.
        bool insideImage = position < imagesEnd && !namesItself(position);
        if (insideImage || !parseAt(position, fields, end)) {
            position = resumeAfter(position);
            continue;
        }
        // An entry that does not name its own position may be a torn one that
        // has swallowed the start of the entry appended after it.
        size_t swallowed = namesItself(position) ? end : firstNamingItself(position + 1, end);
        if (swallowed < end) {
            position = swallowed;
            continue;
        }
        position = end;
        return true;
    }
    return false;
}

bool MoxLogFileScanner::entryAt(size_t start, Fields& fields) {
    MOX_TRACE_ENTRY();
    size_t end = 0;
    return start < size && namesItself(start) && parseAt(start, fields, end);
}

bool MoxLogFileScanner::parseAt(size_t start, Fields& fields, size_t& end) {
    MOX_TRACE_ENTRY();
    if (size - start < 2 || (data[start] != 'R' && data[start] != 'I') || data[start + 1] != ';') {
        return false;
    }
    fields = Fields();
    fields.kind = data[start];
    size_t next = start + 2;
    int idCount = fields.kind == 'R' ? 3 : 1;
    bool complete =
        readField(next, fields.lsn) && readField(next, fields.prevLsn) && readField(next, fields.transactionId);
    for (int i = 0; complete && i < idCount; ++i) {
        complete = readField(next, fields.ids[i]);
    }
    complete = complete && readField(next, fields.segment) && readImage(next, fields.beforeImage) &&
               readImage(next, fields.afterImage) && readField(next, fields.type);
    if (!complete || next >= size || data[next] != '\n') {
        return false;
    }
    bool wellFormed = isPair(fields.lsn, false, false) && isPair(fields.prevLsn, false, false) &&
                      isPair(fields.transactionId, true, false) && isDigits(fields.segment) && isDigits(fields.type);
    if (fields.kind == 'I') {
        wellFormed = wellFormed && (fields.ids[0].empty() || isDigits(fields.ids[0]));
    }
    for (int i = 0; fields.kind == 'R' && i < idCount; ++i) {
        wellFormed = wellFormed && isOptionalPair(fields.ids[i]);
    }
    if (!wellFormed) {
        return false;
    }
    end = next + 1;
    return true;
}

size_t MoxLogFileScanner::resumeAfter(size_t failedStart) const {
    MOX_TRACE_ENTRY();
    const void* newline = memchr(data + failedStart, '\n', size - failedStart);
    size_t lineEnd = newline != nullptr ? static_cast<const char*>(newline) - data : size;
    size_t candidate = firstNamingItself(failedStart + 1, lineEnd);
    if (candidate < lineEnd) {
        return candidate;
    }
    return lineEnd < size ? lineEnd + 1 : size;
}

size_t MoxLogFileScanner::firstNamingItself(size_t from, size_t to) const {
    MOX_TRACE_ENTRY();
    for (size_t candidate = from; candidate < to; ++candidate) {
        if ((data[candidate] == 'R' || data[candidate] == 'I') && namesItself(candidate)) {
            return candidate;
        }
    }
    return to;
}

bool MoxLogFileScanner::namesItself(size_t candidate) const {
    MOX_TRACE_ENTRY();
    if (size - candidate < 2 || data[candidate + 1] != ';') {
        return false;
    }
    size_t next = candidate + 2;
    std::string_view lsn;
    if (!readField(next, lsn)) {
        return false;
    }
    return lsn == std::to_string(filenumber) + "," + std::to_string(firstOffset + candidate);
}

bool MoxLogFileScanner::readField(size_t& next, std::string_view& field) const {
    MOX_TRACE_ENTRY();
    for (size_t end = next; end < size; ++end) {
        if (data[end] == ';') {
            field = std::string_view(data + next, end - next);
            next = end + 1;
            return true;
        }
        if (data[end] == '\n') {
            return false;
        }
    }
    return false;
}

bool MoxLogFileScanner::readImage(size_t& next, std::string_view& image) {
    MOX_TRACE_ENTRY();
    std::string_view lengthText;
    if (!readField(next, lengthText) || lengthText.empty() || lengthText.size() > maxLengthDigits) {
        return false;
    }
    size_t imageLength = 0;
    for (char digit : lengthText) {
        if (digit < '0' || digit > '9') {
            return false;
        }
        imageLength = imageLength * 10 + static_cast<size_t>(digit - '0');
    }
    // Entries hold lengths as int. The closing ";" must lie inside the bytes as well.
    if (imageLength > INT_MAX || imageLength >= size - next) {
        return false;
    }
    imagesEnd = std::max(imagesEnd, next + imageLength);
    if (data[next + imageLength] != ';') {
        return false;
    }
    image = std::string_view(data + next, imageLength);
    next += imageLength + 1;
    return true;
}
