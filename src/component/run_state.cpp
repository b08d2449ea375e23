#include "component/run_state.h"

#include "support/run_log.h"

namespace tabrix {

RunState& CurrentRunState() {
  thread_local RunState state;
  return state;
}

}  // namespace tabrix
