// The update trigger through the auto-update client.
#include "update_trigger.h"

#include "output.h"

namespace repair {

bool UpdateNow(RunContext& run) {
  const Status requested = run.platform.updateClient.UpdateNow(0, 1);
  if (!requested) {
    DisplayError(run, requested.error);
    return false;
  }
  return true;
}

}  // namespace repair
