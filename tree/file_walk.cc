#include "tree/file_walk.h"
