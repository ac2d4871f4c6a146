#include "MoxTextTable.h"

#include <algorithm>

namespace {

std::string oneLine(const std::string& cell) {
    std::string text;
    for (char c : cell) {
        if (c == '\n') {
            text += "\\n";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\t') {
            text += "\\t";
        } else {
            text.push_back(c);
        }
    }
    return text;
}

void printLine(std::ostream& out, const std::vector<std::string>& cells, const std::vector<size_t>& widths) {
    std::string line;
    for (size_t i = 0; i < widths.size(); ++i) {
        const std::string cell = i < cells.size() ? oneLine(cells[i]) : std::string();
        if (i > 0) line += "  ";
        line += cell;
        line.append(widths[i] - cell.size(), ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    out << line << '\n';
}

}  // namespace

MoxTextTable::MoxTextTable(std::vector<std::string> heading) : heading(std::move(heading)) {}

void MoxTextTable::add(std::vector<std::string> cells) {
    cells.resize(heading.size());
    rows.push_back(std::move(cells));
}

void MoxTextTable::print(std::ostream& out) const {
    std::vector<size_t> widths;
    for (const std::string& title : heading) widths.push_back(title.size());
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], oneLine(row[i]).size());
    }
    printLine(out, heading, widths);
    std::vector<std::string> rule;
    for (size_t width : widths) rule.push_back(std::string(width, '-'));
    printLine(out, rule, widths);
    for (const auto& row : rows) printLine(out, row, widths);
}
