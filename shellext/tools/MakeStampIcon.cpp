// Build-time tool: writes the built-in icon of the shell extension to the path given.
#include <cstdio>

#include "shellext/StampIcon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
        return 2;
    }
    if (!stampmenu::WriteStampIcon(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
