#pragma once

namespace vennadar {

// Runs the whole program: state, services, the main window and its message loop. Returns the
// process exit code (0).
int RunApplication(int argc, char** argv);

}  // namespace vennadar
