#include "core/state/app_state.h"

namespace vennadar {

std::unique_ptr<AppState> InitializeGlobals() {
    return std::make_unique<AppState>();
}

void ReleaseGlobals(std::unique_ptr<AppState>& state) {
    state.reset();
}

}  // namespace vennadar
