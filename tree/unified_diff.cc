#include "tree/unified_diff.h"
