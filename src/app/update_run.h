#pragma once

#include "app/program.h"
#include "common/result_code.h"

namespace vesk {

// The single pass over the attached instrument: settings, connect (a failed
// USB open falls back to Ethernet), device-server update on Ethernet,
// identity and versions, refusals, planning, the Enter prompt, and the
// component updates. Returns the code whose sentence the entry prints;
// refusals that already printed their sentence return 0.
ResultCode RunUpdate(Program& program);

}  // namespace vesk
