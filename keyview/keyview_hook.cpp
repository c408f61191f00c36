// The low-level keyboard hook, on a thread of its own, and the marker that shows it has seen
// every event sent before it.
#include "keyview.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// keyview's own injections carry these in dwExtraInfo so that the hook can tell them from
// the child's: the marker, and the releases of keys a run left down.
const ULONG_PTR marker_info = 0x6b657976, cleanup_info = 0x6b657977;
// Listed as unassigned among the virtual-key codes, inside the 1 to 254 that KEYBDINPUT
// allows, as the manual's mask key is. Its dwExtraInfo tells it from the child's own 0xE8.
const WORD marker_vk = 0xE8;

CRITICAL_SECTION lock;
std::vector<KeyEvent> seen;
HANDLE marker_seen, hook_ready, recorded;
bool swallow;

LRESULT CALLBACK keyboard_hook(int code, WPARAM wparam, LPARAM lparam)
{
	if (code == HC_ACTION) {
		LARGE_INTEGER now;
		QueryPerformanceCounter(&now);
		const KBDLLHOOKSTRUCT *k = reinterpret_cast<const KBDLLHOOKSTRUCT *>(lparam);
		if (k->dwExtraInfo == marker_info) {
			SetEvent(marker_seen);
			return 1; // swallowed: the marker is no key for anybody
		}
		if (k->dwExtraInfo != cleanup_info) {
			EnterCriticalSection(&lock);
			seen.push_back(
			    KeyEvent{k->vkCode, k->scanCode, k->flags, k->time, now.QuadPart, 0});
			LeaveCriticalSection(&lock);
			SetEvent(recorded);
			// Swallowed, no window gets the key and its state never changes: nothing is
			// left down. A person's own typing is passed on.
			if (swallow && (k->flags & LLKHF_INJECTED))
				return 1;
		}
	}
	return CallNextHookEx(NULL, code, wparam, lparam);
}

// The hook is called on this thread, from its message loop, for as long as the viewer runs;
// finish's WM_QUIT ends the loop, and the thread that set the hook removes it.
DWORD WINAPI hook_thread(LPVOID)
{
	MSG msg;
	PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);
	const HHOOK hook = checked(
	    SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook, GetModuleHandleW(NULL), 0),
	    "SetWindowsHookExW");
	SetEvent(hook_ready);
	while (GetMessageW(&msg, NULL, 0, 0) > 0)
		DispatchMessageW(&msg);
	UnhookWindowsHookEx(hook);
	return 0;
}

UINT inject(WORD vk, bool release, ULONG_PTR info)
{
	INPUT input;
	memset(&input, 0, sizeof input);
	input.type = INPUT_KEYBOARD;
	input.ki.wVk = vk;
	input.ki.dwFlags = release ? KEYEVENTF_KEYUP : 0;
	input.ki.dwExtraInfo = info;
	return SendInput(1, &input, static_cast<int>(sizeof input));
}

enum class Drain { done, refused, lost };

// Events reach the hook in the order they were injected, so once the marker sent after the
// child's end has arrived, so has everything the child sent. When the marker is refused,
// GetLastError holds SendInput's error.
Drain drain_hook()
{
	ResetEvent(marker_seen);
	if (inject(marker_vk, true, marker_info) != 1)
		return Drain::refused;
	return WaitForSingleObject(marker_seen, 5000) == WAIT_OBJECT_0 ? Drain::done : Drain::lost;
}

// Keys a run left down are let go, unseen, so that runs do not bleed into each other.
// Swallowed keys never went down.
void release_keys_left_down(const std::vector<KeyEvent> &events)
{
	std::vector<DWORD> down;
	for (const KeyEvent &e : events) {
		down.erase(std::remove(down.begin(), down.end(), e.vk), down.end());
		if (!(e.flags & LLKHF_UP))
			down.push_back(e.vk);
	}
	for (DWORD vk : down)
		if (inject(static_cast<WORD>(vk), true, cleanup_info) != 1)
			fprintf(stderr, "keyview: 0x%02lx stays down (SendInput error %lu)\n", vk,
			        GetLastError());
}

// The events with MapVirtualKeyW's answer for each code reported, asked in this process.
std::vector<KeyEvent> mapped(std::vector<KeyEvent> events)
{
	for (KeyEvent &e : events)
		e.map = MapVirtualKeyW(e.vk, MAPVK_VK_TO_VSC);
	return events;
}

} // namespace

void start_hook(bool swallow_injected)
{
	swallow = swallow_injected;
	InitializeCriticalSection(&lock);
	marker_seen = checked(CreateEventW(NULL, TRUE, FALSE, NULL), "CreateEventW");
	hook_ready = checked(CreateEventW(NULL, TRUE, FALSE, NULL), "CreateEventW");
	recorded = checked(CreateEventW(NULL, FALSE, FALSE, NULL), "CreateEventW");
	// Suspended until finish knows it, so that it can tell the thread's own failure.
	held.hook_thread = checked(CreateThread(NULL, 0, hook_thread, NULL, CREATE_SUSPENDED,
	                                        &held.hook_thread_id),
	                           "CreateThread");
	if (ResumeThread(held.hook_thread) == static_cast<DWORD>(-1))
		fail("ResumeThread failed: %lu", GetLastError());
	if (WaitForSingleObject(hook_ready, 10000) != WAIT_OBJECT_0)
		fail("the keyboard hook did not come up");
}

// Windows removes a hook that answers too slowly, without a word: no run starts unwatched.
void start_watching()
{
	EnterCriticalSection(&lock);
	seen.clear();
	LeaveCriticalSection(&lock);
	const Drain drain = drain_hook();
	if (drain == Drain::lost)
		fail("keyview's marker never reached its hook; nothing more is started");
	if (drain == Drain::refused)
		fail("input is refused (SendInput error %lu): another desktop is receiving input, "
		     "such as a locked screen, a secure desktop or, under Wine, a prefix in its "
		     "desktop trap; nothing more is started",
		     GetLastError());
}

void stop_watching(Run &run)
{
	run.drained = drain_hook() == Drain::done;
	EnterCriticalSection(&lock);
	std::vector<KeyEvent> events = seen;
	LeaveCriticalSection(&lock);
	run.events = mapped(events);
	if (!swallow)
		release_keys_left_down(run.events);
}

HANDLE events_waiting()
{
	return recorded;
}

std::vector<KeyEvent> take_events()
{
	std::vector<KeyEvent> taken;
	EnterCriticalSection(&lock);
	taken.swap(seen);
	LeaveCriticalSection(&lock);
	return mapped(taken);
}

bool caught_up()
{
	return drain_hook() == Drain::done;
}
