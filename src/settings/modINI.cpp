#include "settings/modINI.h"
