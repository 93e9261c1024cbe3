#include "display.h"

DISPLAY_INFO DI;
