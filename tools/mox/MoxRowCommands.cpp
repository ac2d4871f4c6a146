#include "MoxRowCommands.h"

#include <iostream>

#include "MoxCsvWriter.h"
#include "MoxTextTable.h"
#include "MoxCommandTransaction.h"

namespace {

// A value given on the command line for a column.
MoxColumnValue valueFor(const MoxTableRows& rows, Uint16 column, const std::string& text) {
    try {
        return MoxColumnValue::parse(rows.getTable(), column, MoxCsvReader::parseField(text));
    } catch (const MoxValueError& error) {
        throw MoxRefusal(error.what());
    } catch (const MoxCsvError& error) {
        throw MoxRefusal("value '" + text + "' for column " + rows.columnNames()[column] + ": " + error.what());
    }
}

std::string tidText(const TupleId& tid) {
    return std::to_string(tid.page) + "," + std::to_string(+tid.slot);
}

void printRows(const MoxTableRows& rows, const std::vector<std::pair<TupleId, MoxRow>>& chosen) {
    std::vector<std::string> heading{"tid"};
    heading.insert(heading.end(), rows.columnNames().begin(), rows.columnNames().end());
    MoxTextTable table(heading);
    for (const auto& [tid, row] : chosen) {
        std::vector<std::string> cells{tidText(tid)};
        for (const MoxColumnValue& value : row) cells.push_back(value.toCell());
        table.add(cells);
    }
    table.print(std::cout);
    std::cout << "(" << chosen.size() << (chosen.size() == 1 ? " row)" : " rows)") << std::endl;
}

}  // namespace

std::pair<Uint16, MoxColumnValue> MoxRowCommands::assignment(const MoxTableRows& rows, const std::string& text) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        throw MoxRefusal("'" + text + "' is not COLUMN=VALUE");
    }
    const Uint16 column = rows.columnNumber(text.substr(0, equals));
    return {column, valueFor(rows, column, text.substr(equals + 1))};
}

MoxRowSelection MoxRowCommands::selection(const MoxTableRows& rows, const MoxArguments& arguments) {
    MoxRowSelection chosen;
    if (arguments.has("where") && arguments.has("range")) {
        throw MoxRefusal("give either --where or --range, not both");
    }
    if (arguments.has("where")) {
        chosen.kind = MoxRowSelection::Equal;
        std::tie(chosen.column, chosen.low) = assignment(rows, arguments.values("where")[0]);
    } else if (arguments.has("range")) {
        const std::vector<std::string>& range = arguments.values("range");
        chosen.kind = MoxRowSelection::Range;
        chosen.column = rows.columnNumber(range[0]);
        chosen.low = valueFor(rows, chosen.column, range[1]);
        chosen.high = valueFor(rows, chosen.column, range[2]);
    }
    return chosen;
}

int MoxRowCommands::scan(const MoxArguments& arguments) {
    return MoxCommandTransaction::run(
        [&] {
            const MoxTableRows rows(arguments.positional()[0]);
            const MoxRowSelection chosen = selection(rows, arguments);
            if (arguments.has("explain")) {
                std::cout << "path: " << rows.describePath(chosen) << std::endl;
            }
            const auto found = rows.select(chosen, false);
            if (!arguments.has("csv")) {
                printRows(rows, found);
                return;
            }
            MoxCsvWriter csv(std::cout);
            csv.row(std::vector<MoxCsvField>(rows.columnNames().begin(), rows.columnNames().end()));
            for (const auto& [tid, row] : found) {
                std::vector<MoxCsvField> fields;
                for (const MoxColumnValue& value : row) fields.push_back(value.toField());
                csv.row(fields);
            }
        },
        std::cerr);
}

int MoxRowCommands::get(const MoxArguments& arguments) {
    const std::string& text = arguments.positional()[1];
    const size_t comma = text.find(',');
    auto number = [&text](const std::string& digits, unsigned long highest) {
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
            std::stoul(digits) > highest) {
            throw MoxRefusal("'" + text + "' is not PAGE,SLOT (a page up to 65534, a slot up to 254)");
        }
        return std::stoul(digits);
    };
    TupleId tid;
    tid.page = static_cast<PageId>(number(text.substr(0, comma), MOX_MAX_PAGE_ID));
    tid.slot = static_cast<SlotId>(number(comma == std::string::npos ? "" : text.substr(comma + 1), MOX_SLOT_METADATA));
    return MoxCommandTransaction::run(
        [&] {
            const MoxTableRows rows(arguments.positional()[0]);
            printRows(rows, {{tid, rows.read(tid, false)}});
        },
        std::cerr);
}

int MoxRowCommands::remove(const MoxArguments& arguments) {
    return MoxCommandTransaction::run(
        [&] {
            MoxTableRows rows(arguments.positional()[0]);
            rows.requireUserTable();
            const auto found = rows.select(selection(rows, arguments), true);
            for (const auto& [tid, row] : found) rows.remove(tid, row);
            rows.addToTupleCount(-static_cast<long long>(found.size()));
            std::cout << found.size() << (found.size() == 1 ? " row" : " rows") << " deleted." << std::endl;
        },
        std::cerr);
}

int MoxRowCommands::update(const MoxArguments& arguments) {
    return MoxCommandTransaction::run(
        [&] {
            MoxTableRows rows(arguments.positional()[0]);
            rows.requireUserTable();
            const MoxRowSelection chosen = selection(rows, arguments);
            std::vector<std::pair<Uint16, MoxColumnValue>> changes;
            for (const std::vector<std::string>& set : arguments.uses("set"))
                changes.push_back(assignment(rows, set[0]));
            const auto found = rows.select(chosen, true);
            for (const auto& [tid, row] : found) {
                MoxRow changed = row;
                for (const auto& [column, value] : changes) changed[column] = value;
                rows.update(tid, row, changed);
            }
            std::cout << found.size() << (found.size() == 1 ? " row" : " rows") << " updated." << std::endl;
        },
        std::cerr);
}

void MoxRowCommands::addTo(MoxCommandLine& commandLine) {
    const MoxOptionSpec where{"where", 1, false, "COLUMN=VALUE", "rows whose column holds the value (empty: NULL)"};
    const std::string values =
        "Values follow the CSV rules of load: COLUMN= is NULL, COLUMN='\"\"' the empty text,\n"
        "quotes keep commas. Names may be given in any case.";
    commandLine.add({"scan",
                     "TABLE [--where COLUMN=VALUE | --range COLUMN LOW HIGH] [--csv] [--explain]",
                     "prints rows as an aligned table or as CSV",
                     "Uses an index on the column where there is one (in key order), else scans the whole\n"
                     "table and filters (in TupleId order). A range includes both bounds; an empty bound\n"
                     "leaves that end open. " +
                         values,
                     1,
                     0,
                     {where,
                      {"range", 3, false, "COLUMN LOW HIGH", "rows from LOW to HIGH, both included"},
                      {"csv", 0, false, "", "CSV with a heading row instead of a table"},
                      {"explain", 0, false, "", "says first whether an index or a full scan is used"}},
                     scan});
    commandLine.add({"get", "TABLE PAGE,SLOT", "prints the row at a TupleId (as scan shows them)", "", 2, 0, {}, get});
    MoxOptionSpec requiredWhere = where;
    requiredWhere.help += " (required)";
    commandLine.add({"delete",
                     "TABLE --where COLUMN=VALUE",
                     "deletes the rows that match, with their index entries",
                     values,
                     1,
                     0,
                     {requiredWhere},
                     [](const MoxArguments& arguments) {
                         if (!arguments.has("where")) throw MoxRefusal("delete: --where COLUMN=VALUE is required");
                         return remove(arguments);
                     }});
    commandLine.add({"update",
                     "TABLE --where COLUMN=VALUE --set COLUMN=VALUE ...",
                     "changes columns of the rows that match; the indexes follow",
                     values + "\nA unique index that would hold a key twice rolls the whole update back.",
                     1,
                     0,
                     {requiredWhere, {"set", 1, true, "COLUMN=VALUE", "the new value (repeatable)"}},
                     [](const MoxArguments& arguments) {
                         if (!arguments.has("where") || !arguments.has("set")) {
                             throw MoxRefusal("update: --where COLUMN=VALUE and --set COLUMN=VALUE are required");
                         }
                         return update(arguments);
                     }});
}
