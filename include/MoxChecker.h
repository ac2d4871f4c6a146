#ifndef MOX_CHECKER_INTERFACE_H
#define MOX_CHECKER_INTERFACE_H

// Interface of the read-only integrity check: the checker of a whole
// database or of one table with its indexes, the checkers of one table
// segment and of one index tree it runs, and the problems they report.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../support/MoxCheckProblem.h"
#include "../catalog/MoxDatabaseChecker.h"
#include "../index/MoxIndexTreeChecker.h"
#include "../record/MoxTableChecker.h"

#endif
