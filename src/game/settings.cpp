#include "game/settings.h"

TSettings Settings;
