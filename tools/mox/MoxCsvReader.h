#ifndef MOX_CSV_READER_H
#define MOX_CSV_READER_H

#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// One CSV field: an empty unquoted field is NULL (nullopt); a quoted one is
// always a text, "" included.
typedef std::optional<std::string> MoxCsvField;

// A row that breaks the CSV rules; what() is the reason, without the line.
class MoxCsvError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Reads CSV rows (RFC 4180) from a stream: fields separated by commas,
// rows ended by CRLF or LF (the last one may lack it), fields in double
// quotes may hold commas, line ends and doubled quotes. A quote inside an
// unquoted field, text after a closing quote or a quoted field that never
// closes is refused with MoxCsvError. The stream stays the caller's and
// must outlive the reader; used by one thread.
class MoxCsvReader {
  public:
    explicit MoxCsvReader(std::istream& input) : input(*input.rdbuf()) {}

    // Reads the next row into fields; false at the end of the input. On a
    // MoxCsvError the reader stands behind the damaged row's line.
    bool next(std::vector<MoxCsvField>& fields);
    // The line on which the row last read (or refused) begins, from 1.
    long rowLine() const { return firstLineOfRow; }
    // Bytes consumed so far.
    long long bytesRead() const { return consumed; }

    // The single field of text, read by the same rules (for values given on
    // the command line); anything but exactly one field is MoxCsvError.
    static MoxCsvField parseField(const std::string& text);

  private:
    int take();
    int peek() { return input.sgetc(); }
    MoxCsvField quotedField();
    MoxCsvField unquotedField();
    // Consumes the rest of the line after a refusal, so that the next row
    // starts cleanly.
    void skipLine();

    std::streambuf& input;
    long line = 1;
    long firstLineOfRow = 0;
    long long consumed = 0;
};

#endif
