#include "launcher/launcher.h"

// The program is the launcher: the application itself lives in the kernel library.
int main(int argc, char** argv) {
    return vennadar::RunLauncher(argc, argv);
}
