// vreg: the register and memory console of the box.
#include <unistd.h>

#include "vreg.h"

int main(int argc, char** argv) { return vreg_main(argc, argv, environ); }
