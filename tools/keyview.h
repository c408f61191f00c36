// What keyview's parts share: keyview.cpp reads the options and the runs, keyview_hook.cpp
// watches the keyboard, keyview_child.cpp starts a run and collects it, keyview_report.cpp
// prints it.
#ifndef LARNIX_TOOLS_KEYVIEW_H
#define LARNIX_TOOLS_KEYVIEW_H

#include <windows.h>

#include <string>
#include <vector>

struct KeyEvent {
	DWORD vk, scan, flags, time;
	LONGLONG seen_at; // QueryPerformanceCounter in the hook; Windows stamps time in timer ticks
	UINT map;         // MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) in this process
};

struct Run {
	DWORD status;
	double wall_ms; // from the child's creation to its exit, as the platform counts them
	LARGE_INTEGER started; // QueryPerformanceCounter just before the child's creation
	bool timed_out, drained, pipes_held;
	std::string out, err;
	std::vector<KeyEvent> events;
};

// What keyview holds while it runs, released by finish on every way out.
struct Held {
	HHOOK hook;
	HANDLE job; // every process a run starts, the child's own included; closing it ends them
	HDESK desktop;
};
extern Held held;

const DWORD child_timeout_ms = 10000;

// keyview.cpp: the one way out, which releases what is held, and a run's end with status 3
// and one line when something fails there, such as a call whose result says so.
[[noreturn]] void finish(UINT status);
[[noreturn]] void fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
template <typename T> T checked(T result, const char *call)
{
	if (!result)
		fail("%s failed: %lu", call, GetLastError());
	return result;
}

void start_hook(bool swallow_injected); // keyview_hook.cpp
void start_watching();
void stop_watching(Run &run);

std::wstring widen(const std::string &text); // keyview_child.cpp
void make_job();
Run run_child(const std::wstring &program, const std::string &command, bool with_stderr,
              wchar_t *desktop);

void print_for_person(const std::string &command, const Run &run); // keyview_report.cpp
void print_record(const Run &run);

#endif
