#include "catalog/firmware_version.h"
