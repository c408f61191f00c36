// What every part of keyview shares: what it holds while it runs, the one way out, which
// releases it, and the end of a run when a call fails. It calls no other part.
#ifndef LARNIX_KEYVIEW_SHARED_H
#define LARNIX_KEYVIEW_SHARED_H

#include <windows.h>

struct Held {
	// The hook's thread, which alone sets and removes the hook: asked to end, it unhooks.
	HANDLE hook_thread;
	DWORD hook_thread_id;
	HANDLE job; // every process a run starts, the child's own included; closing it ends them
	HDESK desktop;
};
extern Held held;

// The one way out, which releases what is held; and a run's end with status 3 and one line
// when something fails there, such as a call whose result says so.
[[noreturn]] void finish(UINT status);
[[noreturn]] void fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
template <typename T> T checked(T result, const char *call)
{
	if (!result)
		fail("%s failed: %lu", call, GetLastError());
	return result;
}

#endif
