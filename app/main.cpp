#include "app/application.h"

int main(int argc, char** argv) {
    return vennadar::RunApplication(argc, argv);
}
