#include "canvas/Functions.h"
