#include "app/console_prompt.h"

#include <istream>
#include <ostream>

namespace vesk {

void WaitForEnter(Platform& platform, const std::string& prompt) {
  platform.Out() << prompt << std::flush;
  platform.In().get();
}

}  // namespace vesk
