#pragma once

namespace vennadar {

// The program's entry: finds the kernel library (beside the program, else where the per-user key
// store says), hands it the application image and lets it run the application. Returns 0 after a
// run, 255 (after telling the user) when there is no usable kernel.
int RunLauncher(int argc, char** argv);

}  // namespace vennadar
