#include "catalog/update_limits.h"
