#pragma once

#include <string>

#include "app/program.h"
#include "common/result_code.h"

namespace vesk {

// Writes the sentence for a non-zero result into `text` and returns the
// code. For -8 (identity unreadable) it instead shows the device map, asks
// the operator for the model, and plans and runs the update for it; it
// returns -8, or the code naming the components that failed.
ResultCode DescribeResult(Program& program, ResultCode code, std::string& text);

// The sentence of a code other than -8 ("Other error code: N" for codes
// without one); empty for 0.
std::string ResultSentence(ResultCode code);

}  // namespace vesk
