#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "catalog/update_plan.h"
#include "common/platform.h"
#include "common/result_code.h"
#include "update/update_component.h"

namespace vesk {

// Runs one component's procedure. The program's dispatcher calls the MCU,
// FPGA or GNSS procedure with the USB device index; tests hand in their own.
class ComponentDispatcher {
 public:
  using Procedure = std::function<ResultCode(UpdateComponent, const std::string& path)>;

  ComponentDispatcher(Platform& host, int32_t deviceIndex);
  ComponentDispatcher(Platform& host, Procedure procedure);

  Platform& Host() const { return host_; }
  ResultCode Dispatch(UpdateComponent component, const std::string& path) const;

 private:
  Platform& host_;
  Procedure procedure_;
};

// The real MCU, FPGA and GNSS procedures for the USB device `deviceIndex`.
ComponentDispatcher::Procedure ProgramProcedures(Platform& host, int32_t deviceIndex);

// One component with its retries and outcome lines: MCU and GNSS up to three
// attempts, FPGA one; the refusals -301 (and -302 for MCU) end at once.
// Returns 0, the refusal code, or the component's failure code.
ResultCode RunComponentUpdate(const ComponentDispatcher& dispatcher, UpdateComponent component,
                              const std::string& path);

// The whole ordered run after the operator confirmed: GNSS ahead of MCU when
// the new MCU image predates the receiver protocol the installed MCU speaks,
// then MCU, GNSS (only after a good MCU), FPGA. Returns the planning result
// when nothing failed, else the code naming the failed components.
ResultCode RunComponentSequence(const UpdatePlan& plan, ResultCode planResult,
                                uint32_t installedMcuVersion,
                                const ComponentDispatcher& dispatcher);

}  // namespace vesk
