// Stand-in for the runtime's low-level file calls that the program uses.
#ifndef LARNIX_STAND_IN_IO_H
#define LARNIX_STAND_IN_IO_H

#include <cstdio>

int _fileno(FILE *stream);
int _setmode(int fd, int mode);

#endif
