#include "MoxLoadCommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>

#include "MoxCsvReader.h"
#include "MoxSupport.h"
#include "MoxCommandTransaction.h"

namespace {

const long long defaultBatch = 1000;

long long batchSize(const MoxArguments& arguments) {
    if (!arguments.has("batch")) return defaultBatch;
    const std::string& text = arguments.values("batch")[0];
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(text) == 0) {
        throw MoxRefusal("load: --batch takes a number of rows from 1 to 999999999, not '" + text + "'");
    }
    return std::stoll(text);
}

// The size of a regular file behind the stream's descriptor name, for the
// time left; 0 for a pipe or a terminal.
long long sizeOf(const std::string& file) {
    struct stat status {};
    if (file.empty() || stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return static_cast<long long>(status.st_size);
}

// Why the load stopped at a line, after the work done before it.
std::string stoppedAt(long line, long long committed, const std::string& reason) {
    return "load: line " + std::to_string(line) + ": " + reason + " (nothing of its transaction is kept; " +
           std::to_string(committed) + " rows before it were committed)";
}

}  // namespace

long long MoxLoadCommand::load(MoxTableRows& rows, std::istream& input, long long batch, bool header,
                               MoxProgressBar& progress) {
    MoxCsvReader reader(input);
    std::vector<MoxCsvField> fields;
    long long committed = 0;
    long long pending = 0;
    try {
        if (header && reader.next(fields) && fields.size() != rows.columnCount()) {
            throw MoxValueError("the heading has " + std::to_string(fields.size()) + " fields, table " +
                                rows.getName() + " " + std::to_string(rows.columnCount()) + " columns");
        }
        while (reader.next(fields)) {
            rows.insert(rows.parseRow(fields));
            if (++pending == batch) {
                rows.addToTupleCount(pending);
                MoxSystem::commit();
                committed += pending;
                pending = 0;
            }
            progress.update(committed + pending, reader.bytesRead());
        }
    } catch (const MoxCsvError& error) {
        progress.finish(committed + pending, reader.bytesRead());
        throw MoxRefusal(stoppedAt(reader.rowLine(), committed, error.what()));
    } catch (const MoxValueError& error) {
        progress.finish(committed + pending, reader.bytesRead());
        throw MoxRefusal(stoppedAt(reader.rowLine(), committed, error.what()));
    } catch (...) {
        progress.finish(committed + pending, reader.bytesRead());
        std::cerr << "mox: " << stoppedAt(reader.rowLine(), committed, "the engine failed, as follows") << std::endl;
        throw;
    }
    rows.addToTupleCount(pending);
    progress.finish(committed + pending, reader.bytesRead());
    return committed + pending;
}

int MoxLoadCommand::run(const MoxArguments& arguments) {
    const long long batch = batchSize(arguments);
    const std::string file = arguments.positional().size() > 1 ? arguments.positional()[1] : "";
    std::ifstream opened;
    if (!file.empty()) {
        opened.open(file, std::ios::binary);
        if (!opened) throw MoxRefusal("load: cannot read " + file);
    }
    std::istream& input = file.empty() ? std::cin : opened;
    MoxProgressBar progress(std::cerr, isatty(STDERR_FILENO) == 1, sizeOf(file));
    return MoxCommandTransaction::run(
        [&] {
            MoxTableRows rows(arguments.positional()[0]);
            rows.requireUserTable();
            const long long loaded = load(rows, input, batch, arguments.has("header"), progress);
            std::cout << "Loaded " << loaded << (loaded == 1 ? " row" : " rows") << " into " << rows.getName() << "."
                      << std::endl;
        },
        std::cerr);
}

void MoxLoadCommand::addTo(MoxCommandLine& commandLine) {
    commandLine.add({"load",
                     "TABLE [FILE] [--batch N] [--header]",
                     "loads CSV rows from a file or standard input",
                     "CSV as RFC 4180: fields separated by commas, in double quotes where they hold a comma,\n"
                     "a quote (doubled) or a line end; an empty unquoted field is NULL, \"\" the empty text.\n"
                     "Every --batch rows are one transaction, committed with the table's tuple count.\n"
                     "A row that does not fit stops the load with its line and reason; its transaction is\n"
                     "rolled back, those before it stay. On a terminal, standard error shows the progress.",
                     1,
                     2,
                     {{"batch", 1, false, "N", "rows per transaction (default 1000)"},
                      {"header", 0, false, "", "the first row names the columns and is skipped"}},
                     run});
}
