#include "catalog/firmware_listing.h"
