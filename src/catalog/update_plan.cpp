#include "catalog/update_plan.h"
