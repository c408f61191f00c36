#include "platform.h"

#include <cstdlib>
#include <sys/stat.h>

namespace {
platform::Behaviour behaviour;
std::vector<platform::Call> recorded;
int sends = 0;
DWORD last_error = 0;
} // namespace

void platform::reset(const Behaviour &chosen)
{
	behaviour = chosen;
	recorded.clear();
	sends = 0;
	last_error = 0xdeadbeef; // a stale code must not pass for the refusal's own
}

const std::vector<platform::Call> &platform::calls()
{
	return recorded;
}

UINT SendInput(UINT cInputs, INPUT *pInputs, int cbSize)
{
	platform::Call call{};
	call.kind = platform::Call::SEND;
	call.count = cInputs;
	call.size = cbSize;
	call.bytes.assign(reinterpret_cast<const char *>(pInputs), cInputs * sizeof(INPUT));
	recorded.push_back(call);
	if (sends++ == behaviour.refuse_send) {
		last_error = behaviour.refusal_error;
		return behaviour.refused_answer;
	}
	return cInputs;
}

UINT MapVirtualKeyW(UINT uCode, UINT uMapType)
{
	platform::Call call{};
	call.kind = platform::Call::MAP;
	call.code = uCode;
	call.map_type = uMapType;
	recorded.push_back(call);
	return uCode + behaviour.scan_code_offset;
}

DWORD GetLastError(void)
{
	return last_error;
}

void SetLastError(DWORD dwErrCode)
{
	last_error = dwErrCode;
}

void Sleep(DWORD dwMilliseconds)
{
	platform::Call call{};
	call.kind = platform::Call::SLEEP;
	call.milliseconds = dwMilliseconds;
	recorded.push_back(call);
}

// The Windows runtime gives a standard stream the descriptor -2 when the process was
// started without its handle.
int _fileno(FILE *stream)
{
	struct stat status;
	if (fstat(fileno(stream), &status) != 0)
		return -2;
	return fileno(stream);
}

int _setmode(int fd, int mode)
{
	// The runtime's default invalid-parameter handler ends the process.
	if (fd < 0) {
		fprintf(stderr, "invalid parameter: _setmode(%d)\n", fd);
		abort();
	}
	platform::Call call{};
	call.kind = platform::Call::SETMODE;
	call.fd = fd;
	call.mode = mode;
	recorded.push_back(call);
	return _O_TEXT;
}
