#include "update/upgrade_refusal.h"

#include <ostream>

namespace vesk {

void PrintUpgradeRefused(std::ostream& out) { out << "Upgrade is not allowed\n" << std::flush; }

}  // namespace vesk
