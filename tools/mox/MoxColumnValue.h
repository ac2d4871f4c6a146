#ifndef MOX_COLUMN_VALUE_H
#define MOX_COLUMN_VALUE_H

#include <stdexcept>
#include <string>
#include <vector>

#include "MoxCatalog.h"
#include "MoxCsvReader.h"
#include "MoxIndexManager.h"

// A text that does not fit a column; what() says why, naming the column.
class MoxValueError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The value of one column of a row: NULL, an INTEGER or a VARCHAR text.
class MoxColumnValue {
  public:
    MoxColumnValue() = default;  // NULL
    explicit MoxColumnValue(Sint32 number) : type(INTEGER), null(false), number(number) {}
    explicit MoxColumnValue(std::string text) : type(VARCHAR), null(false), text(std::move(text)) {}

    // A field (CSV rules: nullopt is NULL) as a value of the table's column:
    // an INTEGER is an optional sign and decimal digits within 32 bits; a
    // VARCHAR holds at most the column's length in bytes and no NUL byte
    // (index keys end at one); NULL only where the column is nullable.
    // MoxValueError otherwise.
    static MoxColumnValue parse(const MoxTable& table, Uint16 column, const MoxCsvField& field);

    bool isNull() const { return null; }
    MoxDataType getType() const { return type; }
    Sint32 getInteger() const { return number; }
    const std::string& getText() const { return text; }

    // The value as a CSV field, and as a cell for people (NULL as "NULL").
    MoxCsvField toField() const;
    std::string toCell() const;
    // The value as an index key of the column's type; a VARCHAR key
    // borrows the text, so the value must outlive it. Not for NULL.
    MoxIndexKey toKey() const;

    // Equal type and value, NULL equal to NULL.
    bool operator==(const MoxColumnValue& other) const;
    // Order of two values that are not NULL, as the index orders keys
    // (VARCHAR bytewise).
    bool operator<(const MoxColumnValue& other) const;

  private:
    MoxDataType type = UnknownDataType;
    bool null = true;
    Sint32 number = 0;
    std::string text;
};

typedef std::vector<MoxColumnValue> MoxRow;

#endif
