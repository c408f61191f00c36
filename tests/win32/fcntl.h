// Stand-in for the runtime's file-mode constants.
#ifndef LARNIX_STAND_IN_FCNTL_H
#define LARNIX_STAND_IN_FCNTL_H

#define _O_TEXT 0x4000
#define _O_BINARY 0x8000

#endif
