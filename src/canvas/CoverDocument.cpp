#include "canvas/CoverDocument.h"
