#include "MoxCsvReader.h"

#include <sstream>

namespace {
const int endOfInput = std::char_traits<char>::eof();
}

int MoxCsvReader::take() {
    const int c = input.sbumpc();
    if (c != endOfInput) {
        ++consumed;
        if (c == '\n') ++line;
    }
    return c;
}

void MoxCsvReader::skipLine() {
    for (int c = take(); c != endOfInput && c != '\n'; c = take()) {
    }
}

bool MoxCsvReader::next(std::vector<MoxCsvField>& fields) {
    fields.clear();
    if (peek() == endOfInput) {
        return false;
    }
    firstLineOfRow = line;
    try {
        while (true) {
            fields.push_back(peek() == '"' ? quotedField() : unquotedField());
            const int c = take();
            if (c != ',') {
                return true;  // a line end (its CR went with the field) or the end of the input
            }
        }
    } catch (const MoxCsvError&) {
        skipLine();
        throw;
    }
}

MoxCsvField MoxCsvReader::quotedField() {
    take();
    std::string text;
    while (true) {
        const int c = take();
        if (c == endOfInput) {
            throw MoxCsvError("a quoted field is not closed");
        }
        if (c == '"') {
            if (peek() != '"') break;
            take();
        }
        text.push_back(static_cast<char>(c));
    }
    const int after = peek();
    if (after != ',' && after != '\n' && after != '\r' && after != endOfInput) {
        throw MoxCsvError("text after the closing quote of a field");
    }
    if (after == '\r') {
        take();
        if (peek() != '\n') throw MoxCsvError("text after the closing quote of a field");
    }
    return text;
}

MoxCsvField MoxCsvReader::unquotedField() {
    std::string text;
    for (int c = peek(); c != ',' && c != '\n' && c != endOfInput; c = peek()) {
        if (c == '\r') {
            take();
            if (peek() == '\n') return text.empty() ? MoxCsvField() : MoxCsvField(text);
            text.push_back('\r');
            continue;
        }
        if (c == '"') {
            throw MoxCsvError("a quote inside an unquoted field");
        }
        text.push_back(static_cast<char>(take()));
    }
    return text.empty() ? MoxCsvField() : MoxCsvField(text);
}

MoxCsvField MoxCsvReader::parseField(const std::string& text) {
    std::istringstream stream(text);
    MoxCsvReader reader(stream);
    std::vector<MoxCsvField> fields;
    if (!reader.next(fields)) {
        return std::nullopt;  // the empty text: NULL
    }
    if (fields.size() != 1 || reader.peek() != endOfInput) {
        throw MoxCsvError("more than one field (quote a value that holds a comma or a line end)");
    }
    return fields[0];
}
