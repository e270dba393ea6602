#include "app/entry.h"

int main(int argc, char** argv) {
    return kra::RunKra(argc, argv);
}
