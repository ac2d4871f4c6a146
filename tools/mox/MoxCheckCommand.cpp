#include "MoxCheckCommand.h"

#include <iostream>

#include "MoxChecker.h"
#include "MoxCommandTransaction.h"
#include "MoxTableRows.h"

int MoxCheckCommand::run(const MoxArguments& arguments) {
    bool sound = true;
    const int exitCode = MoxCommandTransaction::run(
        [&] {
            MoxDatabaseChecker checker;
            std::string scope = "the database";
            MoxCheckProblems problems;
            if (arguments.positional().empty()) {
                problems = checker.checkDatabase();
            } else {
                // Resolved first, so that an unknown name is a refusal.
                const MoxTableRows table(arguments.positional()[0]);
                scope = "table " + table.getName();
                problems = checker.checkTable(table.getName());
            }
            for (const MoxCheckProblem& problem : problems) std::cout << problem.line() << '\n';
            sound = problems.empty();
            if (sound) std::cout << "No problems found in " << scope << "." << std::endl;
        },
        std::cerr);
    return exitCode != 0 ? exitCode : (sound ? 0 : 1);
}

void MoxCheckCommand::addTo(MoxCommandLine& commandLine) {
    commandLine.add({"check",
                     "[TABLE]",
                     "read-only integrity check of the database or of one table with its indexes",
                     "Data pages, inventories, every tree, every index entry against its record and every\n"
                     "record against each index of its table, the catalog rows against the descriptors.\n"
                     "Prints each problem as PLACE: TEXT; exit code 1 when there is one, 0 when sound.",
                     0,
                     1,
                     {},
                     run});
}
