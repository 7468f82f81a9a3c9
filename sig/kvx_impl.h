// What the parts of libkvx share: only the C interface leaves the library.
#pragma once

#include "kvx.h"

#define KVX_API extern "C" __attribute__((visibility("default")))
