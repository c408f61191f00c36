// What the stand-in platform was asked, in order, and how it is to answer.
#ifndef LARNIX_STAND_IN_PLATFORM_H
#define LARNIX_STAND_IN_PLATFORM_H

#include <cstddef>
#include <string>
#include <vector>

#include "fcntl.h"
#include "io.h"
#include "windows.h"

namespace platform {

// One call as the stand-in saw it: a SendInput (with its count, size and the bytes of the
// records), a MapVirtualKeyW, a Sleep, or a change of a file's text or binary mode.
struct Call {
	enum Kind { SEND, MAP, SLEEP, SETMODE } kind;
	UINT count;            // SEND: cInputs
	int size;              // SEND: cbSize
	std::string bytes;     // SEND: the records, byte for byte
	UINT code, map_type;   // MAP
	DWORD milliseconds;    // SLEEP
	int fd, mode;          // SETMODE
};

struct Behaviour {
	UINT scan_code_offset = 0; // MapVirtualKeyW answers code + offset, all 32 bits of it
	int refuse_send = -1;      // the 0-based SendInput call that the platform refuses
	UINT refused_answer = 0;   // what SendInput then answers
	DWORD refusal_error = 0;   // and what GetLastError then gives
};

// Forgets every call and sets how the next ones are answered.
void reset(const Behaviour &behaviour = Behaviour());
const std::vector<Call> &calls();

} // namespace platform

#endif
