// larnix: presses, releases and taps keys through the platform's input stream, in the
// order given, 8 ms apart. Exit status 0: all done; 1: an event was refused; 2: usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "send_key.h"

// Arguments such as down:* must reach main as typed, whatever the toolchain's default.
extern "C" {
int _dowildcard = 0;
}

enum KeyOp { OP_NONE, OP_DOWN, OP_UP, OP_TAP };

static const char usage[] = "usage: larnix.exe (down|up|tap):<hex vk> ...\n";
static const char hex_digits[] = "0123456789abcdefABCDEF";

// The key text as strtoul reads it in base 16, but into 32 bits on every C library: a
// magnitude past 0xFFFFFFFF gives 0xFFFFFFFF, sign or not, and a minus sign negates
// modulo 2^32. Libraries differ exactly there (width of unsigned long, overflow with '-').
static unsigned int read_key(const char *text)
{
	text += strspn(text, " \t\n\v\f\r");
	const bool negative = *text == '-';
	if (*text == '-' || *text == '+')
		text++;
	if (strspn(text, hex_digits) == 0)
		return 0;

	// Count the significant digits to tell an overflow, as no library agrees on it.
	const char *digits = text;
	if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
		digits += 2;
	digits += strspn(digits, "0");
	if (strspn(digits, hex_digits) > 8)
		return 0xFFFFFFFFu;

	const unsigned int magnitude = static_cast<unsigned int>(strtoul(text, NULL, 16));
	return negative ? 0u - magnitude : magnitude;
}

static KeyOp read_op(const char *arg, const char *colon)
{
	const size_t length = static_cast<size_t>(colon - arg);
	if (length == 2 && strncmp(arg, "up", 2) == 0)
		return OP_UP;
	if (length == 3 && strncmp(arg, "tap", 3) == 0)
		return OP_TAP;
	if (length == 4 && strncmp(arg, "down", 4) == 0)
		return OP_DOWN;
	return OP_NONE;
}

// Returns 1 when every event of the op was taken; a refused press of a tap is not followed
// by its release.
static int carry_out(KeyOp op, WORD vk)
{
	switch (op) {
	case OP_DOWN:
		return send_key(vk, 0);
	case OP_UP:
		return send_key(vk, 1);
	case OP_TAP:
		return send_key(vk, 0) && send_key(vk, 1);
	case OP_NONE:
		break;
	}
	return 0;
}

int main(int argc, char **argv)
{
	// Diagnostics are exact bytes: a text-mode runtime would turn each "\n" into "\r\n".
	// With no standard error handle the descriptor is -2, which _setmode would treat as fatal.
	const int stderr_fd = _fileno(stderr);
	if (stderr_fd >= 0)
		_setmode(stderr_fd, _O_BINARY);
	if (argc < 2) {
		fputs(usage, stderr);
		return 2;
	}
	for (int i = 1; i < argc; i++) {
		const char *arg = argv[i];
		const char *colon = strchr(arg, ':');
		if (colon == NULL) {
			fprintf(stderr, "bad op %s\n", arg);
			return 2;
		}
		// The key is judged before the op, so foo:0 is a bad key.
		const WORD vk = static_cast<WORD>(read_key(colon + 1));
		if (vk == 0) {
			fprintf(stderr, "bad key %s\n", arg);
			return 2;
		}
		const KeyOp op = read_op(arg, colon);
		if (op == OP_NONE) {
			fprintf(stderr, "bad op %s\n", arg);
			return 2;
		}
		if (!carry_out(op, vk))
			return 1;
		Sleep(8);
	}
	return 0;
}
