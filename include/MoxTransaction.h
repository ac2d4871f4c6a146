#ifndef MOX_TRANSACTION_H
#define MOX_TRANSACTION_H

// Interface of the transaction component: transaction identifiers and the
// per-process transaction manager.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../transaction/MoxTransactionId.h"
#include "../transaction/MoxTransactionManager.h"

#endif
