#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "MoxChecker.h"
#include "MoxRecordManager.h"
#include "MoxSupport.h"
#include "MoxTuple.h"
#include "TestHelpers.h"
#include "common/TestDatabase.h"

// Random tables and rows checked against a plain model: a row is a vector of
// optional values, and its bytes are what encode() makes of it.
namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::optional<std::variant<Sint32, std::string>> Value;  // nullopt is NULL
typedef std::vector<Value> Row;

struct ColumnShape {
    MoxDataType type;
    bool nullable;
    Uint16 maxLength;
};

class RandomRows {
  public:
    explicit RandomRows(unsigned seed) : random(seed) {}

    std::vector<ColumnShape> makeTable(MoxTable& table) {
        std::vector<ColumnShape> shapes(1 + pick(10));
        EXPECT_EQ(table.createColumns(static_cast<Uint16>(shapes.size())), MOX_SUCCESS);
        for (size_t i = 0; i < shapes.size(); ++i) {
            ColumnShape& shape = shapes[i];
            shape.type = pick(2) == 0 ? INTEGER : VARCHAR;
            shape.nullable = pick(2) == 0;
            Uint32 roll = pick(20);
            shape.maxLength = shape.type == INTEGER ? 4
                                                    : static_cast<Uint16>(1 + pick(roll < 14   ? 20
                                                                                   : roll < 19 ? 300
                                                                                               : 4000));
            std::string name = "C";
            name += std::to_string(i);
            EXPECT_EQ(table.setColumnDefinition(static_cast<Uint16>(i), name.c_str(), shape.type, shape.maxLength,
                                                shape.nullable),
                      MOX_SUCCESS);
        }
        return shapes;
    }

    Value makeValue(const ColumnShape& shape) {
        if (shape.nullable && pick(4) == 0) return std::nullopt;
        if (shape.type == INTEGER) {
            static const Sint32 edges[] = {0, -1, MOX_MIN_SINT32, MOX_MAX_SINT32, 'N', '-'};
            return pick(4) == 0 ? edges[pick(6)] : static_cast<Sint32>(random());
        }
        Uint32 roll = pick(4);
        Uint32 length = roll == 0 ? 0 : roll == 1 ? shape.maxLength : pick(shape.maxLength + 1);
        std::string text(length, '\0');
        for (char& c : text) c = static_cast<char>(pick(4) == 0 ? "N-\0"[pick(3)] : pick(256));
        return text;
    }

    Row makeRow(const std::vector<ColumnShape>& shapes) {
        Row row;
        for (const ColumnShape& shape : shapes) row.push_back(makeValue(shape));
        return row;
    }

    Uint32 pick(Uint32 bound) { return std::uniform_int_distribution<Uint32>(0, bound - 1)(random); }

  private:
    std::mt19937 random;
};

Bytes encode(const std::vector<ColumnShape>& shapes, const Row& row) {
    Bytes bytes;
    for (size_t i = 0; i < shapes.size(); ++i) {
        if (shapes[i].nullable) bytes.push_back(row[i] ? '-' : 'N');
        if (!row[i]) continue;
        if (const Sint32* number = std::get_if<Sint32>(&*row[i])) {
            for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<unsigned char>(*number >> shift));
        } else {
            const std::string& text = std::get<std::string>(*row[i]);
            bytes.push_back(static_cast<unsigned char>(text.size()));
            bytes.push_back(static_cast<unsigned char>(text.size() >> 8));
            bytes.insert(bytes.end(), text.begin(), text.end());
        }
    }
    return bytes;
}

MoxErrorCode setValue(MoxRecordTuple& tuple, Uint16 column, const ColumnShape& shape, const Value& value) {
    if (shape.type == INTEGER) {
        return tuple.setInt(column, value ? &std::get<Sint32>(*value) : nullptr);
    }
    const std::string* text = value ? &std::get<std::string>(*value) : nullptr;
    return tuple.setVarchar(column, text ? text->data() : nullptr, text ? static_cast<Uint16>(text->size()) : 0);
}

// Every column of the tuple read back equals the model.
void expectRow(MoxRecordTuple& tuple, const std::vector<ColumnShape>& shapes, const Row& row) {
    for (Uint16 i = 0; i < shapes.size(); ++i) {
        SCOPED_TRACE("column " + std::to_string(i));
        if (shapes[i].type == INTEGER) {
            Sint32 number = 0;
            bool isNull = false;
            ASSERT_EQ(tuple.getIntValue(i, number, isNull), MOX_SUCCESS);
            EXPECT_EQ(isNull, !row[i]);
            if (row[i]) {
                EXPECT_EQ(number, std::get<Sint32>(*row[i]));
            }
        } else {
            const char* text = nullptr;
            Uint16 length = 0;
            ASSERT_EQ(tuple.getVarchar(i, text, length), MOX_SUCCESS);
            EXPECT_EQ(text == nullptr, !row[i]);
            if (row[i]) {
                EXPECT_EQ(std::string(text, length), std::get<std::string>(*row[i]));
            }
        }
    }
}

Bytes bytesOf(const MoxRecord* record) {
    return Bytes(record->getRecordData(), record->getRecordData() + record->getLength());
}

}  // namespace

// A started system with its catalog.
class MoxRecordTupleRandom : public TestDatabase {
  protected:
    void SetUp() override {
        TestDatabase::SetUp();
        MoxSystem::start();
    }
};

// Random tables go into the catalog and their rows into the tables; each row
// read back through the descriptor that the catalog gives equals the model,
// and so does every change of it.
TEST_F(MoxRecordTupleRandom, BuiltStoredAndChangedRowsMatchTheModel) {
    const unsigned seed = 20240131;
    RandomRows random(seed);
    MoxCatalogManager* catalog = MoxCatalogManager::getInstance();
    MoxRecordManager* records = MoxRecordManager::getInstance();
    for (int tableNumber = 0; tableNumber < 300; ++tableNumber) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", table " + std::to_string(tableNumber));
        MoxTable table;
        const std::vector<ColumnShape> shapes = random.makeTable(table);
        TableId id = 0;
        const std::string name = std::string("T").append(std::to_string(tableNumber));
        ASSERT_EQ(table.setTableName(name.c_str()), MOX_SUCCESS);
        ASSERT_EQ(catalog->addTable(table, id), MOX_SUCCESS);
        records->createTable(id);
        MoxTable* described = nullptr;
        ASSERT_EQ(catalog->getTableDescriptor(id, described), MOX_SUCCESS);
        std::unique_ptr<MoxTable> fromCatalog(described);
        for (int rowNumber = 0; rowNumber < 4; ++rowNumber) {
            Row row = random.makeRow(shapes);
            MoxRecordTuple builder(&table);
            for (Uint16 i = 0; i < shapes.size(); ++i) ASSERT_EQ(setValue(builder, i, shapes[i], row[i]), MOX_SUCCESS);
            ASSERT_NE(builder.getRecord(), nullptr);
            const Bytes built = bytesOf(builder.getRecord());
            ASSERT_EQ(built, encode(shapes, row));
            ASSERT_GE(built.size(), table.getMinRecordLength());
            ASSERT_LE(built.size(), table.getMaxRecordLength());

            // Rows longer than a record can be are refused and read in memory.
            TupleId tid;
            MoxRecord* stored = nullptr;
            const bool fits = built.size() <= MoxRecordManager::MAX_RECORD_LENGTH;
            if (fits) {
                records->insert(*builder.getRecord(), id, tid);
                records->get(id, tid, stored);
            } else {
                EXPECT_TRUE(throwsError([&] { records->insert(*builder.getRecord(), id, tid); },
                                        MOX_RM_INSERT_RECORD_TOO_LONG));
                stored = new MoxRecord(*builder.getRecord());
            }
            MoxRecordTuple reader(stored, fromCatalog.get());
            expectRow(reader, shapes, row);
            // Overwrites of every kind, some with a text taken from the record itself.
            for (int change = 0; change < 16; ++change) {
                Uint16 column = static_cast<Uint16>(random.pick(static_cast<Uint32>(shapes.size())));
                Value value = random.makeValue(shapes[column]);
                Uint16 source = static_cast<Uint16>(random.pick(static_cast<Uint32>(shapes.size())));
                if (random.pick(5) == 0 && shapes[source].type == VARCHAR && shapes[column].type == VARCHAR &&
                    row[source] && std::get<std::string>(*row[source]).size() <= shapes[column].maxLength) {
                    const char* text = nullptr;
                    Uint16 length = 0;
                    ASSERT_EQ(reader.getVarchar(source, text, length), MOX_SUCCESS);
                    ASSERT_EQ(reader.setVarchar(column, text, length), MOX_SUCCESS);
                    row[column] = row[source];
                } else {
                    ASSERT_EQ(setValue(reader, column, shapes[column], value), MOX_SUCCESS);
                    row[column] = value;
                }
                ASSERT_EQ(bytesOf(reader.getRecord()), encode(shapes, row));
            }
            expectRow(reader, shapes, row);
            if (fits && reader.getRecord()->getLength() <= MoxRecordManager::MAX_RECORD_LENGTH) {
                records->replace(id, tid, *reader.getRecord());
                MoxRecord* replaced = nullptr;
                records->get(id, tid, replaced);
                MoxRecordTuple again(replaced, fromCatalog.get());
                expectRow(again, shapes, row);
            }
        }
        MoxSystem::commit();
    }
    // Every stored row fits its table as the catalog describes it.
    EXPECT_TRUE(sound(MoxDatabaseChecker().checkDatabase()));
    MoxSystem::commit();
}

TEST(MoxRecordTupleDamaged, RecordsAreNeverReadOrWrittenOutside) {
    const unsigned seed = 77;
    RandomRows random(seed);
    for (int attempt = 0; attempt < 4000; ++attempt) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", attempt " + std::to_string(attempt));
        MoxTable table;
        const std::vector<ColumnShape> shapes = random.makeTable(table);
        Bytes bytes = encode(shapes, random.makeRow(shapes));
        switch (random.pick(5)) {
            case 0:  // nothing but noise
                bytes.resize(random.pick(table.getMaxRecordLength() + 9));
                for (unsigned char& b : bytes) b = static_cast<unsigned char>(random.pick(256));
                break;
            case 1:  // a few bytes changed
                for (Uint32 n = 1 + random.pick(3); n > 0 && !bytes.empty(); --n)
                    bytes[random.pick(static_cast<Uint32>(bytes.size()))] =
                        static_cast<unsigned char>(random.pick(256));
                break;
            case 2:  // cut short
                bytes.resize(random.pick(static_cast<Uint32>(bytes.size()) + 1));
                break;
            case 3:  // garbage behind
                for (Uint32 n = 1 + random.pick(8); n > 0; --n)
                    bytes.push_back(static_cast<unsigned char>(random.pick(256)));
                break;
            default:  // an indicator or a length byte made large
                if (!bytes.empty()) bytes[random.pick(static_cast<Uint32>(bytes.size()))] = 0xFF;
                break;
        }
        MoxRecordTuple tuple(new MoxRecord(bytes.data(), static_cast<Uint16>(bytes.size())), &table);
        for (int round = 0; round < 3; ++round) {
            const MoxRecord* record = tuple.getRecord();
            ASSERT_NE(record, nullptr);
            const unsigned char* begin = record->getRecordData();
            const unsigned char* end = begin + record->getLength();
            unsigned sum = 0;
            for (Uint16 i = 0; i < shapes.size(); ++i) {
                const Sint32* number = nullptr;
                if (tuple.getInt(i, number) == MOX_SUCCESS && number != nullptr) {
                    const unsigned char* at = reinterpret_cast<const unsigned char*>(number);
                    ASSERT_TRUE(at >= begin && at + 4 <= end);
                    for (int b = 0; b < 4; ++b) sum += at[b];
                }
                const char* text = nullptr;
                Uint16 length = 0;
                if (tuple.getVarchar(i, text, length) == MOX_SUCCESS && text != nullptr) {
                    const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
                    ASSERT_TRUE(at >= begin && at + length <= end);
                    for (Uint16 b = 0; b < length; ++b) sum += at[b];
                }
            }
            (void)sum;
            Uint16 column = static_cast<Uint16>(random.pick(static_cast<Uint32>(shapes.size()) + 1));
            ColumnShape shape = column < shapes.size() ? shapes[column] : shapes[0];
            if (random.pick(3) == 0) shape.type = shape.type == INTEGER ? VARCHAR : INTEGER;
            shape.nullable = true;
            if (shape.type == VARCHAR) shape.maxLength = MoxMax<Uint16>(shape.maxLength, 8);
            setValue(tuple, column, shape, random.makeValue(shape));
        }
    }
}
