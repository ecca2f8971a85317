#include "tests/support/swfwriter.h"
