// Record tuples interpreting arbitrary record bytes against arbitrary table
// definitions, then changed by arbitrary operations. No read or write may
// leave the record; every value read must lie inside it. Where the record is
// well formed, a plain model of its values must agree with the tuple after
// every operation: a successful write changes its column only, a failed one
// changes no byte, and a row built column by column reads back as built.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "MoxFuzzEnvironment.h"
#include "MoxFuzzInput.h"
#include "MoxSupport.h"
#include "MoxTuple.h"

namespace {

typedef MoxTupleFuzzInput::Column Column;
typedef MoxTupleFuzzInput::Operation Operation;
typedef std::optional<std::variant<Sint32, std::string>> Value;  // nullopt is NULL
typedef std::vector<Value> Row;

[[noreturn]] void finding(const char* what) {
    fprintf(stderr, "finding: %s\n", what);
    abort();
}

std::string bytesOf(const MoxRecord* record) {
    return record == nullptr ? std::string()
                             : std::string(reinterpret_cast<const char*>(record->getRecordData()), record->getLength());
}

void checkInside(const MoxRecord* record, const void* value, size_t length) {
    const unsigned char* start = record->getRecordData();
    const unsigned char* at = static_cast<const unsigned char*>(value);
    if (at < start || at + length > start + record->getLength()) finding("a value read lies outside the record");
}

// Reads every column the way its type asks (and the other way, which must
// be refused); the row if every read succeeds.
std::optional<Row> readRow(MoxRecordTuple& tuple, const std::vector<Column>& columns) {
    const MoxRecord* record = tuple.getRecord();
    if (record == nullptr) return std::nullopt;
    Row row;
    bool complete = true;
    for (Uint16 i = 0; i < columns.size(); ++i) {
        Uint16 offset = 0;
        tuple.findAttributeOffset(i, offset);
        const Sint32* number = nullptr;
        const char* text = nullptr;
        Uint16 length = 0;
        if (columns[i].isInteger) {
            if (tuple.getVarchar(i, text, length) != MOX_CAT_DATATYPE_MISMATCH) finding("a type mismatch passed");
            if (tuple.getInt(i, number) != MOX_SUCCESS) {
                complete = false;
                continue;
            }
            if (number == nullptr) {
                row.push_back(std::nullopt);
                continue;
            }
            checkInside(record, number, sizeof(Sint32));
            Sint32 value = 0;
            memcpy(&value, number, sizeof(value));
            row.push_back(value);
        } else {
            if (tuple.getInt(i, number) != MOX_CAT_DATATYPE_MISMATCH) finding("a type mismatch passed");
            if (tuple.getVarchar(i, text, length) != MOX_SUCCESS) {
                complete = false;
                continue;
            }
            if (text == nullptr) {
                row.push_back(std::nullopt);
                continue;
            }
            checkInside(record, text, length);
            row.push_back(std::string(text, length));
        }
    }
    Uint16 end = 0;
    tuple.findAttributeOffset(static_cast<Uint16>(columns.size()), end);
    if (!complete) return std::nullopt;
    return row;
}

// The value an operation writes: NULL, a number, or a text of its own or
// taken from the record's bytes (which the tuple must cope with).
Value valueOf(const Operation& operation, const Column& column, const MoxRecord* record) {
    if (operation.kind & 0x80) return std::nullopt;
    if (column.isInteger) return operation.value;
    const size_t length = static_cast<Uint32>(operation.value) % (column.maxLength + 8u);
    return std::string(length, static_cast<char>('a' + operation.kind % 26)) +
           (record != nullptr && (operation.kind & 0x40) ? bytesOf(record).substr(0, 16) : std::string());
}

MoxErrorCode write(MoxRecordTuple& tuple, Uint16 column, const Column& shape, const Value& value) {
    if (shape.isInteger) {
        return tuple.setInt(column, value ? &std::get<Sint32>(*value) : nullptr);
    }
    const std::string* text = value ? &std::get<std::string>(*value) : nullptr;
    return tuple.setVarchar(column, text != nullptr ? text->data() : nullptr,
                            text != nullptr ? static_cast<Uint16>(text->size()) : 0);
}

// Whether every text fits its column: a damaged record may hold a longer
// one, which reads but cannot be written.
bool fits(const std::vector<Column>& columns, const Row& row) {
    for (size_t i = 0; i < columns.size(); ++i) {
        const std::string* text = row[i] ? std::get_if<std::string>(&*row[i]) : nullptr;
        if (text != nullptr && text->size() > columns[i].maxLength) return false;
    }
    return true;
}

// Builds a row column by column from the model's values and checks that a
// new tuple reads it back as built.
void buildAndReadBack(const MoxTable& table, const std::vector<Column>& columns, const Row& row) {
    if (!fits(columns, row)) return;
    MoxRecordTuple builder(&table);
    for (Uint16 i = 0; i < columns.size(); ++i) {
        if (write(builder, i, columns[i], row[i]) != MOX_SUCCESS) finding("a row that was read cannot be built");
    }
    const MoxRecord* built = builder.getRecord();
    if (built == nullptr) finding("a built row has no record");
    MoxRecordTuple reader(new MoxRecord(*built), &table);
    if (readRow(reader, columns) != row) finding("a built row reads back otherwise");
}

void run(const MoxTable& table, const std::vector<Column>& columns, const std::vector<Operation>& operations,
         const std::string& bytes) {
    const Uint16 length = static_cast<Uint16>(bytes.size() < MOX_MAX_UINT16 ? bytes.size() : MOX_MAX_UINT16);
    MoxRecordTuple tuple(new MoxRecord(reinterpret_cast<const unsigned char*>(bytes.data()), length), &table);
    std::optional<Row> model = readRow(tuple, columns);
    for (const Operation& operation : operations) {
        const Uint16 column = static_cast<Uint16>(operation.column % (columns.size() + 1));
        const std::string before = bytesOf(tuple.getRecord());
        MoxErrorCode rc = MOX_SUCCESS;
        switch (operation.kind % 4) {
            case 0:
            case 1: {
                // Column count itself is out of range and must be refused.
                const Column& shape = columns[column < columns.size() ? column : 0];
                Value value = valueOf(operation, shape, tuple.getRecord());
                rc = write(tuple, column, shape, value);
                if (rc == MOX_SUCCESS && model) (*model)[column] = value;
                break;
            }
            case 2: {
                unsigned char* data = nullptr;
                Uint16 newLength = 0;
                rc = tuple.makeSpaceInRecord(static_cast<Uint16>(operation.value & 0xffff),
                                             static_cast<Uint16>((operation.value >> 16) & 0xff), data, newLength);
                if (rc == MOX_SUCCESS) model = std::nullopt;
                break;
            }
            default: {
                Uint16 newLength = 0;
                rc = tuple.closeGapInRecord(static_cast<Uint16>(operation.value & 0xffff),
                                            static_cast<Uint16>((operation.value >> 16) & 0xff), newLength);
                if (rc == MOX_SUCCESS) model = std::nullopt;
                break;
            }
        }
        if (rc != MOX_SUCCESS && bytesOf(tuple.getRecord()) != before) finding("a failed operation changed the record");
        std::optional<Row> now = readRow(tuple, columns);
        if (model && now != model) finding("the tuple disagrees with the model");
        if (!model) model = now;
    }
    if (model) buildAndReadBack(table, columns, *model);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    MoxFuzzEnvironment::enter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MoxFuzzInput input(data, size);
    std::vector<Column> columns;
    std::vector<Operation> operations;
    std::string record;
    MoxTupleFuzzInput::decode(input, columns, operations, record);
    MoxTable table;
    table.createColumns(static_cast<Uint16>(columns.size()));
    for (Uint16 i = 0; i < columns.size(); ++i) {
        const std::string name = "C" + std::to_string(i);
        if (table.setColumnDefinition(i, name.c_str(), columns[i].isInteger ? INTEGER : VARCHAR, columns[i].maxLength,
                                      columns[i].nullable) != MOX_SUCCESS) {
            finding("a valid column definition was refused");
        }
    }
    run(table, columns, operations, record);
    return 0;
}
