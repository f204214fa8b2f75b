#include "app/program.h"

namespace vesk {

ComponentDispatcher ProgramDispatcher(Program& program) {
  ComponentDispatcher::Procedure run =
      ProgramProcedures(program.Host, program.State.DeviceIndex);
  return ComponentDispatcher(
      program.Host, [&program, run](UpdateComponent component, const std::string& path) {
        ResultCode result = run(component, path);
        program.History.Attempted(DisplayName(component), path, result);
        return result;
      });
}

}  // namespace vesk
