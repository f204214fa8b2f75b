#include "net/net_error.h"

#include <asio/error.hpp>
#include <cerrno>

namespace vesk {

namespace {

// The Windows socket numbers of the failures a TCP link meets.
constexpr int32_t kWsaOperationAborted = 995;
constexpr int32_t kWsaNotSocket = 10038;
constexpr int32_t kWsaNetUnreachable = 10051;
constexpr int32_t kWsaConnectionAborted = 10053;
constexpr int32_t kWsaConnectionReset = 10054;
constexpr int32_t kWsaNotConnected = 10057;
constexpr int32_t kWsaTimedOut = 10060;
constexpr int32_t kWsaConnectionRefused = 10061;
constexpr int32_t kWsaHostUnreachable = 10065;

}  // namespace

int32_t NetErrorCode(const std::error_code& error) {
  if (!error) return 0;
  if (error.category() != asio::error::get_system_category() &&
      error.category() != std::system_category() &&
      error.category() != std::generic_category()) {
    return error.value();  // e.g. end of stream: the peer closed the connection
  }
  switch (error.value()) {
    case ECANCELED:
      return kWsaOperationAborted;  // a deadline passed and the operation was abandoned
    case EBADF:
      return kWsaNotSocket;
    case ENETUNREACH:
      return kWsaNetUnreachable;
    case ECONNABORTED:
      return kWsaConnectionAborted;
    case ECONNRESET:
    case EPIPE:
      return kWsaConnectionReset;
    case ENOTCONN:
      return kWsaNotConnected;
    case ETIMEDOUT:
      return kWsaTimedOut;
    case ECONNREFUSED:
      return kWsaConnectionRefused;
    case EHOSTUNREACH:
      return kWsaHostUnreachable;
    default:
      return error.value();
  }
}

}  // namespace vesk
