#ifndef COMPARE_ROW_BYTES_H
#define COMPARE_ROW_BYTES_H

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// A row's bytes in Mox's table row layout (INTEGER: 4 bytes little-endian;
// VARCHAR: a 2-byte length, then the text), so that every engine that
// stores bytes stores the same number of them.
class RowBytes {
  public:
    // (key INTEGER, payload VARCHAR)
    static void keyed(int32_t key, std::string_view payload, std::string& row) {
        row.clear();
        appendInteger(key, row);
        appendVarchar(payload, row);
    }
    // (id INTEGER, name VARCHAR)
    static void named(int32_t id, std::string_view name, std::string& row) {
        row.clear();
        appendInteger(id, row);
        appendVarchar(name, row);
    }
    // The first column of a row that holds at least 4 bytes.
    static int32_t firstInteger(const unsigned char* row) {
        int32_t value;
        memcpy(&value, row, sizeof(value));
        return value;
    }

  private:
    static void appendInteger(int32_t value, std::string& row) {
        row.append(reinterpret_cast<const char*>(&value), sizeof(value));
    }
    static void appendVarchar(std::string_view text, std::string& row) {
        const uint16_t length = static_cast<uint16_t>(text.size());
        row.append(reinterpret_cast<const char*>(&length), sizeof(length));
        row.append(text);
    }
};

#endif
