#ifndef MOX_FUZZ_INPUT_H
#define MOX_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Mox.h"

// The layouts of the fuzz targets' inputs, shared by the targets that read
// them and the corpus generator that writes seeds in them. Fields are taken
// from the front; a field that the input no longer holds reads as zero, so
// every input, however short, is a valid one.
class MoxFuzzInput {
  public:
    MoxFuzzInput(const uint8_t* data, size_t size) : data(data), size(size), position(0) {}

    Uint8 byte() { return position < size ? data[position++] : 0; }
    // Little-endian.
    Uint16 uint16() {
        Uint16 low = byte();
        return static_cast<Uint16>(low | byte() << 8);
    }
    Sint32 sint32() {
        Uint32 low = uint16();
        return static_cast<Sint32>(low | static_cast<Uint32>(uint16()) << 16);
    }
    // Up to length bytes, fewer at the end of the input.
    std::string bytes(size_t length) {
        size_t taken = length < size - position ? length : size - position;
        std::string result(reinterpret_cast<const char*>(data) + position, taken);
        position += taken;
        return result;
    }
    std::string rest() { return bytes(size - position); }

  private:
    const uint8_t* data;
    size_t size;
    size_t position;
};

// Log analysis: the bytes of 1.log, 2.log, ... one after the other, each
// following one behind logFileSeparator; at most maxLogFiles files.
namespace MoxLogFuzzInput {
const std::string logFileSeparator("\0\xffnext log\xff\0", 12);
const size_t maxLogFiles = 4;
}  // namespace MoxLogFuzzInput

// Table pages: the operations to run (one byte of flags), the length of a
// record to insert, a slot to read on every page, then the bytes of the
// table's segment file.
namespace MoxPageFuzzInput {
enum Flags : Uint8 { Dumps = 1, Scan = 2, Reads = 4, Insert = 8, All = 15 };
inline std::string encode(Uint8 flags, Uint16 insertLength, Uint8 slot, const std::string& segmentFile) {
    std::string input;
    input += static_cast<char>(flags);
    input += static_cast<char>(insertLength & 0xff);
    input += static_cast<char>(insertLength >> 8);
    input += static_cast<char>(slot);
    return input + segmentFile;
}
}  // namespace MoxPageFuzzInput

// Tree pages: the operations to run (one byte of flags), the key type (even:
// INTEGER, odd: VARCHAR), a key number (4 bytes) to search, walk from and
// insert, a page to dump (2 bytes), then the bytes of the index's segment
// file.
namespace MoxTreeFuzzInput {
enum Flags : Uint8 { Dumps = 1, Search = 2, Walk = 4, Insert = 8, All = 15 };
inline std::string encode(Uint8 flags, bool varchar, Sint32 key, PageId page, const std::string& segmentFile) {
    std::string input;
    input += static_cast<char>(flags);
    input += static_cast<char>(varchar ? 1 : 0);
    for (int shift = 0; shift < 32; shift += 8) input += static_cast<char>((static_cast<Uint32>(key) >> shift) & 0xff);
    input += static_cast<char>(page & 0xff);
    input += static_cast<char>(page >> 8);
    return input + segmentFile;
}
}  // namespace MoxTreeFuzzInput

// Debug commands: the command (one byte, modulo the number of commands, in
// the order of commandNames), then its argument text.
namespace MoxDebugFuzzInput {
const std::vector<std::string> commandNames = {"BM_STATS",  "LM_STATS",    "LOG_PRINT",   "index_all",
                                               "index_fsi", "index_leafs", "index_page",  "index_pages",
                                               "table_all", "table_page",  "table_pages", "transactionId"};
inline std::string encode(const std::string& command, const std::string& arguments) {
    Uint8 number = 0;
    while (number < commandNames.size() && commandNames[number] != command) ++number;
    return std::string(1, static_cast<char>(number)) + arguments;
}
}  // namespace MoxDebugFuzzInput

// Record tuples: a table definition, operations on a tuple, then the bytes
// of the record that the tuple interprets.
//   1 byte        column count - 1 (modulo maxColumns)
//   3 per column  flags (bit 0 INTEGER, else VARCHAR; bit 1 nullable),
//                 maximum length (1 + value modulo 4000) for VARCHAR
//   1 byte        operation count (modulo maxOperations + 1)
//   6 per op      kind, column, 4 bytes of value (integer, or length of a
//                 text taken from the record's bytes, or offset and size)
//   the rest      the record
namespace MoxTupleFuzzInput {
const Uint8 maxColumns = 16;
const Uint8 maxOperations = 8;
struct Column {
    bool isInteger;
    bool nullable;
    Uint16 maxLength;
};
struct Operation {
    Uint8 kind;
    Uint8 column;
    Sint32 value;
};

inline void decode(MoxFuzzInput& input, std::vector<Column>& columns, std::vector<Operation>& operations,
                   std::string& record) {
    columns.resize(1 + input.byte() % maxColumns);
    for (Column& column : columns) {
        Uint8 flags = input.byte();
        column.isInteger = (flags & 1) != 0;
        column.nullable = (flags & 2) != 0;
        column.maxLength = column.isInteger ? 4 : static_cast<Uint16>(1 + input.uint16() % 4000);
        if (column.isInteger) input.uint16();
    }
    operations.resize(input.byte() % (maxOperations + 1));
    for (Operation& operation : operations) {
        operation.kind = input.byte();
        operation.column = input.byte();
        operation.value = input.sint32();
    }
    record = input.rest();
}

inline std::string encode(const std::vector<Column>& columns, const std::vector<Operation>& operations,
                          const std::string& record) {
    std::string input;
    auto add16 = [&input](Uint32 value) {
        input += static_cast<char>(value & 0xff);
        input += static_cast<char>((value >> 8) & 0xff);
    };
    input += static_cast<char>(columns.size() - 1);
    for (const Column& column : columns) {
        input += static_cast<char>((column.isInteger ? 1 : 0) | (column.nullable ? 2 : 0));
        add16(column.isInteger ? 0 : column.maxLength - 1u);
    }
    input += static_cast<char>(operations.size());
    for (const Operation& operation : operations) {
        input += static_cast<char>(operation.kind);
        input += static_cast<char>(operation.column);
        add16(static_cast<Uint32>(operation.value) & 0xffff);
        add16(static_cast<Uint32>(operation.value) >> 16);
    }
    return input + record;
}
}  // namespace MoxTupleFuzzInput

#endif
