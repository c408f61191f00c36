// The records and calls of keyview's parts: keyview.cpp reads the options and the runs and
// calls the others; keyview_hook.cpp watches the keyboard, keyview_child.cpp starts a run and
// collects it, keyview_report.cpp prints it, keyview_keyboard.cpp watches a person's typing.
// keyview_shared.h holds what all of them share.
#ifndef LARNIX_KEYVIEW_H
#define LARNIX_KEYVIEW_H

#include "keyview_shared.h"

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
	DWORD timeout_ms; // how long it may last before it is ended, job and all
	bool timed_out, drained, pipes_held;
	std::string out, err;
	std::vector<KeyEvent> events;
};

const DWORD child_timeout_ms = 10000; // unless --timeout says otherwise

// What the keyboard mode was asked for: injected keys too, kept from the rest of the system,
// and the end after idle_s seconds with no key.
struct KeyboardOptions {
	bool injected, swallow;
	DWORD idle_s;
};

void start_hook(bool swallow_injected); // keyview_hook.cpp
void start_watching();
void stop_watching(Run &run);
HANDLE events_waiting(); // set as the hook records an event
std::vector<KeyEvent> take_events(); // what the hook recorded since the last call
bool caught_up(); // whether the hook has seen every event sent before the call

std::wstring widen(const std::string &text); // keyview_child.cpp
void make_job();
Run run_child(const std::wstring &program, const std::string &command, bool with_stderr,
              wchar_t *desktop, DWORD timeout_ms);

void print_for_person(const std::string &command, const Run &run); // keyview_report.cpp
void print_record(const Run &run);
const char *key_name(DWORD vk);
void print_event(const KeyEvent &e, LONGLONG previous); // previous: the last event's seen_at

[[noreturn]] void watch_keyboard(const KeyboardOptions &options); // keyview_keyboard.cpp

#endif
