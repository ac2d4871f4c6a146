#ifndef MOX_TEXT_TABLE_H
#define MOX_TEXT_TABLE_H

#include <ostream>
#include <string>
#include <vector>

// An aligned text table: a heading, a rule of dashes under it and the rows,
// every column as wide as its widest cell and separated by two blanks;
// trailing blanks are left out. Collects the rows, then prints them at once.
class MoxTextTable {
  public:
    explicit MoxTextTable(std::vector<std::string> heading);

    // A row with as many cells as the heading (missing cells are empty).
    void add(std::vector<std::string> cells);
    size_t rowCount() const { return rows.size(); }
    // Cells that hold a line end or a tab are printed with them escaped
    // (\n, \r, \t), so that every row stays one line.
    void print(std::ostream& out) const;

  private:
    std::vector<std::string> heading;
    std::vector<std::vector<std::string>> rows;
};

#endif
