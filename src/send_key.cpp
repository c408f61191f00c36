#include <cstdio>
#include <cstring>
#include <windows.h>

#include "send_key.h"

static_assert(sizeof(INPUT) == 40, "SendInput is told one record is 40 bytes on x86-64");

// Keys on the keyboard's extended part: without the flag the platform takes the arrows and
// their neighbours for the keypad twins whenever Num Lock is on. The set is fixed and does
// not follow the layout.
static bool is_extended_key(WORD vk)
{
	switch (vk) {
	case VK_PRIOR:
	case VK_NEXT:
	case VK_END:
	case VK_HOME:
	case VK_LEFT:
	case VK_UP:
	case VK_RIGHT:
	case VK_DOWN:
	case VK_SNAPSHOT:
	case VK_INSERT:
	case VK_DELETE:
	case VK_LWIN:
	case VK_RWIN:
	case VK_APPS:
	case VK_DIVIDE:
	case VK_NUMLOCK:
	case VK_RCONTROL:
	case VK_RMENU:
		return true;
	default:
		return false;
	}
}

int send_key(unsigned int vk, int release)
{
	const WORD code = static_cast<WORD>(vk);

	INPUT input;
	memset(&input, 0, sizeof input);
	input.type = INPUT_KEYBOARD;
	input.ki.wVk = code;
	// Many programs act on the scan code alone and drop events without one.
	input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
	DWORD flags = 0;
	if (is_extended_key(code))
		flags |= KEYEVENTF_EXTENDEDKEY;
	if (release)
		flags |= KEYEVENTF_KEYUP;
	input.ki.dwFlags = flags;

	if (SendInput(1, &input, static_cast<int>(sizeof input)) == 1)
		return 1;
	const DWORD error = GetLastError();
	fprintf(stderr, "SendInput failed for %x: %lu\n", static_cast<unsigned int>(code),
	        static_cast<unsigned long>(error));
	return 0;
}
