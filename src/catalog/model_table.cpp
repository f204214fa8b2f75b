#include "catalog/model_table.h"
