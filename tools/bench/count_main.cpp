// count_main N [ARG]: runs the program's main once with N copies of ARG (tap:41 by
// default) against a platform that takes every event at once and does not pause, so
// that an instruction counter run over larnix_main sees the program's own work per
// argument and nothing of the pause.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "windows.h"

int larnix_main(int argc, char **argv);

UINT SendInput(UINT cInputs, INPUT *, int)
{
	return cInputs;
}

UINT MapVirtualKeyW(UINT uCode, UINT)
{
	return uCode;
}

DWORD GetLastError(void)
{
	return 0;
}

void SetLastError(DWORD)
{
}

void Sleep(DWORD)
{
}

int _fileno(FILE *stream)
{
	return fileno(stream);
}

int _setmode(int, int mode)
{
	return mode;
}

int main(int argc, char **argv)
{
	if (argc < 2 || atoi(argv[1]) < 1) {
		fputs("usage: count_main N [ARG]\n", stderr);
		return 2;
	}
	const size_t count = static_cast<size_t>(atoi(argv[1]));
	char name[] = "larnix.exe";
	char tap[] = "tap:41";
	std::vector<char *> args(count + 2, argc > 2 ? argv[2] : tap);
	args[0] = name;
	args[count + 1] = nullptr;
	return larnix_main(static_cast<int>(count + 1), args.data());
}
