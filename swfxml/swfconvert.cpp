#include "swfxml/swfconvert.h"
