#ifndef MOX_DUMP_TABLE_H
#define MOX_DUMP_TABLE_H

#include <ostream>
#include <string>

#include "../include/MoxTypes.h"

// One table of a buffer dump on standard output: numeric columns are
// right-aligned in COLUMN_WIDTH characters with one blank between columns,
// and the column header comes before the first row and again before every
// 50th row, so that long dumps stay readable. Used under the pool latch.
class MoxDumpTable {
  public:
    static constexpr int COLUMN_WIDTH = 12;

    MoxDumpTable(const char* header, const char* underline);

    // Starts a row, printing the column header first where it is due.
    std::ostream& row();

    // A line of 75 times c.
    static void rule(char c);
    // The closing rule and the line "front number back".
    static void closing(const char* front, Uint32 number, const char* back);
    // A link to the next entry, or "<end>" when it leads back to the head.
    static std::string next(Uint16 next, Uint16 head);

  private:
    static constexpr Uint32 rowsPerHeader = 50;

    const char* header;
    const char* underline;
    Uint32 rows;
};

#endif
