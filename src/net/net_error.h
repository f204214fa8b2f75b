#pragma once

#include <cstdint>
#include <system_error>

namespace vesk {

// The number a socket failure is reported as (the link's NetError, and the
// result of closing a link that failed). The instrument family's tools have
// always reported the Windows socket numbers (10054 connection reset, 10060
// timed out, 10061 refused, ...); the common failures are reported with those
// numbers here too, so that operators and the result sentences see the same
// values on every host. 0 means no failure.
int32_t NetErrorCode(const std::error_code& error);

}  // namespace vesk
