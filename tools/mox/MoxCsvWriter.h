#ifndef MOX_CSV_WRITER_H
#define MOX_CSV_WRITER_H

#include <ostream>
#include <vector>

#include "MoxCsvReader.h"

// Writes rows as CSV that MoxCsvReader reads back to the same fields: NULL
// as an empty unquoted field, a text in quotes when it is empty or holds a
// comma, a quote or a line end (quotes doubled), rows ended by LF.
class MoxCsvWriter {
  public:
    explicit MoxCsvWriter(std::ostream& out) : out(out) {}

    void row(const std::vector<MoxCsvField>& fields);

  private:
    std::ostream& out;
};

#endif
