#ifndef MOX_BUFFER_H
#define MOX_BUFFER_H

// Interface of the buffer component: the page frame.

#include "Mox.h"
#include "MoxErrorCodes.h"
#include "../buffer/MoxPage.h"

#endif
