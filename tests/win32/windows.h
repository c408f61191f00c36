// Stand-in for the few Win32 types, constants and calls the program uses, so that the
// same sources build on the host. Layouts match x86-64 Windows: INPUT is 40 bytes.
#ifndef LARNIX_STAND_IN_WINDOWS_H
#define LARNIX_STAND_IN_WINDOWS_H

#include <cstdint>

typedef std::uint16_t WORD;
typedef std::uint32_t DWORD; // unsigned long on Windows: 32 bits there, 64 here
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef std::uintptr_t ULONG_PTR;

struct MOUSEINPUT {
	LONG dx;
	LONG dy;
	DWORD mouseData;
	DWORD dwFlags;
	DWORD time;
	ULONG_PTR dwExtraInfo;
};

struct KEYBDINPUT {
	WORD wVk;
	WORD wScan;
	DWORD dwFlags;
	DWORD time;
	ULONG_PTR dwExtraInfo;
};

struct HARDWAREINPUT {
	DWORD uMsg;
	WORD wParamL;
	WORD wParamH;
};

struct INPUT {
	DWORD type;
	union {
		MOUSEINPUT mi;
		KEYBDINPUT ki;
		HARDWAREINPUT hi;
	};
};

#define INPUT_KEYBOARD 1
#define KEYEVENTF_EXTENDEDKEY 0x0001
#define KEYEVENTF_KEYUP 0x0002
#define MAPVK_VK_TO_VSC 0

#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_SNAPSHOT 0x2C
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_APPS 0x5D
#define VK_DIVIDE 0x6F
#define VK_NUMLOCK 0x90
#define VK_RCONTROL 0xA3
#define VK_RMENU 0xA5

UINT SendInput(UINT cInputs, INPUT *pInputs, int cbSize);
UINT MapVirtualKeyW(UINT uCode, UINT uMapType);
DWORD GetLastError(void);
void SetLastError(DWORD dwErrCode);
void Sleep(DWORD dwMilliseconds);

#endif
