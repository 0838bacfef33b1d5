#include "canvas/LabelShower.h"
