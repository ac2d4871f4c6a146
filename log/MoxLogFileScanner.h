#ifndef MOX_LOG_FILE_SCANNER_H
#define MOX_LOG_FILE_SCANNER_H

#include <cstddef>
#include <string_view>

#include "../include/MoxTypes.h"

// Finds the complete entries in the bytes of one log file, in file order.
// The bytes are input that may be damaged: a crash during an append leaves a
// torn entry (which the next append follows directly), and any line may be
// corrupted. A scan never reads outside the bytes it was given, whatever
// lengths a line claims; damaged and foreign lines are passed over.
//
// An entry is taken where it begins a line or, after damage, where its LSN
// names its own position in the file, which finds the entry that follows a
// torn one. A line that begins inside a damaged entry's images holds image
// bytes and is taken only if it names its own position. An entry must be
// complete and well formed: LSNs, transaction id and tuple ids as "a,b"
// numbers (tuple ids may be empty or half), segment, type and lengths as
// digits, exactly n image bytes after a length, its closing ";" and then the
// newline. Anything else is damage.
class MoxLogFileScanner {
  public:
    // One entry's fields as views into the scanned bytes; image views hold
    // exactly the image bytes.
    struct Fields {
        char kind;  // 'R' or 'I'
        std::string_view lsn;
        std::string_view prevLsn;
        std::string_view transactionId;
        // Record entries: primary, old and new secondary tuple id; index
        // entries: the page id in the first.
        std::string_view ids[3];
        std::string_view segment;
        std::string_view beforeImage;
        std::string_view afterImage;
        std::string_view type;
    };

    // data must stay valid while the scanner is used. firstOffset is where
    // data begins in the file: a part of a file may be scanned.
    MoxLogFileScanner(Uint16 filenumber, const char* data, size_t size, size_t firstOffset = 0);

    // The next complete entry; false when the bytes hold no more.
    bool next(Fields& fields);
    // The complete entry that begins at position and names it as its own;
    // false when there is none (or it reaches beyond the bytes).
    bool entryAt(size_t position, Fields& fields);

  private:
    // Parses an entry at start; on success end is just behind its newline.
    bool parseAt(size_t start, Fields& fields, size_t& end);
    // Where to try again after a failure at failedStart: the next line, or
    // an earlier position whose LSN names itself.
    size_t resumeAfter(size_t failedStart) const;
    bool namesItself(size_t position) const;
    // The first position in [from, to) whose entry names itself; to if none.
    size_t firstNamingItself(size_t from, size_t to) const;
    // A field up to the next ";" on the same line; position moves behind it.
    bool readField(size_t& position, std::string_view& field) const;
    // A length of digits, ";", that many bytes and ";". Bytes that lie
    // inside the scan count as claimed, even when the ";" is missing.
    bool readImage(size_t& position, std::string_view& image);

    Uint16 filenumber;
    const char* data;
    size_t size;
    size_t firstOffset;
    size_t position;
    // End of the image bytes claimed by the entries tried so far.
    size_t imagesEnd;
};

#endif
