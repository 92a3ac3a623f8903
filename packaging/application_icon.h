#pragma once

namespace vennadar {

// Gives the application, and so every window without one of its own, the program's icon: the
// same pictures the desktop entry installs, built into the program.
void SetApplicationIcon();

}  // namespace vennadar
