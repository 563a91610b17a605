#include "tree/file_walk.h"
#include <gtest/gtest.h>
