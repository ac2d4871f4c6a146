#include "MoxColumnValue.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// A value as it appears in a message: quoted, shortened, and with control
// characters escaped, so that the message stays one line.
std::string shown(const std::string& text) {
    const size_t longest = 40;
    std::string quoted = "\"";
    for (size_t i = 0; i < text.size() && i < longest; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != 0x7f) {
            quoted.push_back(static_cast<char>(c));
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof(escaped), "\\x%02x", c);
        quoted.append(escaped);
    }
    return quoted.append(text.size() > longest ? "...\"" : "\"");
}

Sint32 parseInteger(const std::string& text, const std::string& column) {
    const size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (text.size() == sign || text.find_first_not_of("0123456789", sign) != std::string::npos) {
        throw MoxValueError("column " + column + ": " + shown(text) + " is not an integer");
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < MOX_MIN_SINT32 || value > MOX_MAX_SINT32) {
        throw MoxValueError("column " + column + ": " + shown(text) + " lies outside the INTEGER range");
    }
    return static_cast<Sint32>(value);
}

}  // namespace

MoxColumnValue MoxColumnValue::parse(const MoxTable& table, Uint16 column, const MoxCsvField& field) {
    const char* name = nullptr;
    MoxDataType type = UnknownDataType;
    bool nullable = false;
    Uint16 length = 0;
    if (table.getColumnName(column, name) != MOX_SUCCESS || table.getColumnDatatype(column, type) != MOX_SUCCESS ||
        table.getIsNullable(column, nullable) != MOX_SUCCESS ||
        table.getMaxColumnLength(column, length) != MOX_SUCCESS) {
        throw MoxValueError("the table has no column " + std::to_string(column));
    }
    if (!field) {
        if (!nullable) throw MoxValueError(std::string("column ") + name + " is not nullable and takes no NULL");
        return MoxColumnValue();
    }
    if (type == INTEGER) {
        return MoxColumnValue(parseInteger(*field, name));
    }
    if (field->size() > length) {
        throw MoxValueError(std::string("column ") + name + ": " + shown(*field) + " has " +
                            std::to_string(field->size()) + " bytes, the column at most " + std::to_string(length));
    }
    if (field->find('\0') != std::string::npos) {
        throw MoxValueError(std::string("column ") + name + ": " + shown(*field) + " holds a NUL byte");
    }
    return MoxColumnValue(*field);
}

MoxCsvField MoxColumnValue::toField() const {
    if (null) return std::nullopt;
    return type == INTEGER ? std::to_string(number) : text;
}

std::string MoxColumnValue::toCell() const {
    return null ? "NULL" : *toField();
}

MoxIndexKey MoxColumnValue::toKey() const {
    return type == INTEGER ? MoxIndexKey(number) : MoxIndexKey(text.c_str());
}

bool MoxColumnValue::operator==(const MoxColumnValue& other) const {
    if (null || other.null) return null == other.null;
    return type == other.type && number == other.number && text == other.text;
}

bool MoxColumnValue::operator<(const MoxColumnValue& other) const {
    return type == INTEGER ? number < other.number : text < other.text;
}
