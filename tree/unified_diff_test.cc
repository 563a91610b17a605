#include "tree/unified_diff.h"
#include <gtest/gtest.h>
