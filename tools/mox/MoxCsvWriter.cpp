#include "MoxCsvWriter.h"

void MoxCsvWriter::row(const std::vector<MoxCsvField>& fields) {
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) out << ',';
        if (!fields[i]) continue;
        const std::string& text = *fields[i];
        if (!text.empty() && text.find_first_of(",\"\r\n") == std::string::npos) {
            out << text;
            continue;
        }
        out << '"';
        for (char c : text) {
            if (c == '"') out << '"';
            out << c;
        }
        out << '"';
    }
    out << '\n';
}
