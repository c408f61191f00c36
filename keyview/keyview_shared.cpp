#include "keyview_shared.h"

#include <cstdarg>
#include <cstdio>

Held held;

void finish(UINT status)
{
	// Wine keeps the hook of a process that ended with it; a later hook's events stall on it.
	// The hook's own thread, failing before its hook is set, has nothing to wait for.
	if (held.hook_thread != NULL && GetCurrentThreadId() != held.hook_thread_id &&
	    PostThreadMessageW(held.hook_thread_id, WM_QUIT, 0, 0))
		WaitForSingleObject(held.hook_thread, 2000);
	if (held.job != NULL)
		CloseHandle(held.job);
	if (held.desktop != NULL)
		CloseDesktop(held.desktop);
	fflush(stdout);
	ExitProcess(status);
}

void fail(const char *format, ...)
{
	va_list args;
	va_start(args, format);
	fputs("keyview: ", stderr);
	vfprintf(stderr, format, args);
	fputc('\n', stderr);
	va_end(args);
	finish(3);
}
