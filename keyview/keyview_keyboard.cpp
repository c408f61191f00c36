// The keyboard watched with no program started: each key shown as it comes, and at the end the
// larnix.exe line that sends the same keys again.
#include "keyview.h"

#include <algorithm>
#include <cstdio>

namespace {

HANDLE break_seen;
volatile LONG break_kind = -1; // the CTRL_*_EVENT that ended the watch

BOOL WINAPI on_break(DWORD kind)
{
	InterlockedExchange(&break_kind, static_cast<LONG>(kind));
	SetEvent(break_seen);
	if (kind == CTRL_C_EVENT || kind == CTRL_BREAK_EVENT)
		return TRUE;
	// A closing console ends the process once this returns: the line is printed first.
	Sleep(5000);
	return TRUE;
}

bool has(const std::vector<DWORD> &codes, DWORD vk)
{
	return std::find(codes.begin(), codes.end(), vk) != codes.end();
}

void drop(std::vector<DWORD> &codes, DWORD vk)
{
	codes.erase(std::remove(codes.begin(), codes.end(), vk), codes.end());
}

struct Recording {
	std::vector<KeyEvent> kept; // what the line replays, in order
	std::vector<DWORD> down;    // kept keys now down, in the order they went down
	std::vector<DWORD> left_out; // keys down before the watch began, until released
	LONGLONG previous;           // seen_at of the last event shown, 0 before the first
};

// Whether an event belongs to the watch: a key held when it began, and a release whose press
// came before it, are no part of what was typed meanwhile.
bool keep(Recording &r, const KeyEvent &e)
{
	const bool up = e.flags & LLKHF_UP;
	if (has(r.left_out, e.vk)) {
		if (up)
			drop(r.left_out, e.vk);
		return false;
	}
	if (up && !has(r.down, e.vk))
		return false;
	if (up)
		drop(r.down, e.vk);
	else if (!has(r.down, e.vk))
		r.down.push_back(e.vk);
	r.kept.push_back(e);
	return true;
}

// Whether any event was shown.
bool show(Recording &r, const std::vector<KeyEvent> &events, bool injected)
{
	bool shown = false;
	for (const KeyEvent &e : events) {
		if ((!injected && (e.flags & LLKHF_INJECTED)) || !keep(r, e))
			continue;
		print_event(e, r.previous ? r.previous : e.seen_at);
		r.previous = e.seen_at;
		shown = true;
	}
	fflush(stdout);
	return shown;
}

// Keys down now, as the system knows them. The hook reports Shift, Ctrl and Alt by side, so
// their sideless codes are left out: they would never see their release.
std::vector<DWORD> keys_down()
{
	std::vector<DWORD> down;
	for (DWORD vk = 0x08; vk < 0xFF; vk++)
		if (vk != VK_SHIFT && vk != VK_CONTROL && vk != VK_MENU &&
		    (GetAsyncKeyState(static_cast<int>(vk)) & 0x8000))
			down.push_back(vk);
	return down;
}

// The keys that made the break, from the press that set it off (Ctrl and C, or Ctrl and
// Break), taken back out of the line. A Ctrl that other keys were pressed with is kept for
// them, and let go where the break began.
void drop_break(Recording &r, DWORD kind)
{
	if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT)
		return;
	const std::vector<DWORD> triggers = kind == CTRL_C_EVENT
	                                        ? std::vector<DWORD>{'C'}
	                                        : std::vector<DWORD>{VK_CANCEL, VK_PAUSE};
	const std::vector<DWORD> ctrls = {VK_CONTROL, VK_LCONTROL, VK_RCONTROL};
	std::vector<DWORD> keys = ctrls;
	keys.insert(keys.end(), triggers.begin(), triggers.end());
	const std::vector<KeyEvent> &kept = r.kept;
	size_t at = kept.size();
	for (size_t i = 0; i < kept.size(); i++)
		if (!(kept[i].flags & LLKHF_UP) && has(triggers, kept[i].vk))
			at = i;
	if (at == kept.size())
		return;
	std::vector<bool> cut(kept.size(), false);
	std::vector<KeyEvent> let_go;
	for (DWORD vk : keys) {
		// Back to the key's last release before the trigger: its press and its repeats.
		size_t from = 0;
		for (size_t i = 0; i < at; i++)
			if (kept[i].vk == vk && (kept[i].flags & LLKHF_UP))
				from = i + 1;
		bool shared = false, down = false;
		for (size_t i = from; i < at; i++) {
			down = down || kept[i].vk == vk;
			shared = shared || (down && has(ctrls, vk) && !has(keys, kept[i].vk));
		}
		for (size_t i = shared ? at : from; i < kept.size(); i++)
			cut[i] = cut[i] || kept[i].vk == vk;
		if (shared)
			let_go.push_back(KeyEvent{vk, 0, LLKHF_UP, 0, kept[at].seen_at, 0});
	}
	Recording rest{};
	for (size_t i = 0; i < kept.size(); i++) {
		for (const KeyEvent &e : i == at ? let_go : std::vector<KeyEvent>{})
			keep(rest, e);
		if (!cut[i])
			keep(rest, kept[i]);
	}
	r.kept = rest.kept;
	r.down = rest.down;
}

// A press followed at once by its own release is a tap; every other event stands alone.
void print_replay(const Recording &r)
{
	if (r.kept.empty()) {
		printf("no keys to replay\n");
		return;
	}
	printf("larnix.exe");
	for (size_t i = 0; i < r.kept.size(); i++) {
		const KeyEvent &e = r.kept[i];
		const bool up = e.flags & LLKHF_UP;
		const bool tap = !up && i + 1 < r.kept.size() && r.kept[i + 1].vk == e.vk &&
		                 (r.kept[i + 1].flags & LLKHF_UP);
		printf(" %s:%02lX", tap ? "tap" : up ? "up" : "down", e.vk);
		i += tap;
	}
	printf("\n");
	for (size_t i = 0; i < r.down.size(); i++) {
		const char *name = key_name(r.down[i]);
		printf("%s%02lX%s%s", i ? ", " : "still held at the end: ", r.down[i],
		       *name ? " " : "", name);
	}
	if (!r.down.empty())
		printf("\n");
}

} // namespace

void watch_keyboard(const KeyboardOptions &options)
{
	break_seen = checked(CreateEventW(NULL, TRUE, FALSE, NULL), "CreateEventW");
	checked(SetConsoleCtrlHandler(on_break, TRUE), "SetConsoleCtrlHandler");
	start_hook(options.swallow && options.injected);
	Recording r{};
	r.left_out = keys_down();
	// The hook is proven to see keys before the first line invites any; a key pressed before
	// this shows its release alone, which is left out.
	start_watching();
	printf("watching the keyboard: press Ctrl+C here, or no key for %lu s, to end\n",
	       options.idle_s);
	fflush(stdout);
	const ULONGLONG idle_ms = options.idle_s * 1000ULL;
	ULONGLONG last = GetTickCount64();
	const HANDLE waits[2] = {break_seen, events_waiting()};
	for (ULONGLONG now; (now = GetTickCount64()) - last < idle_ms;) {
		const DWORD left = static_cast<DWORD>(idle_ms - (now - last));
		const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, left);
		if (woke == WAIT_FAILED)
			fail("WaitForMultipleObjects failed: %lu", GetLastError());
		if (woke == WAIT_OBJECT_0)
			break;
		if (woke == WAIT_OBJECT_0 + 1 && show(r, take_events(), options.injected))
			last = GetTickCount64();
	}
	// Whatever reached the hook before the end belongs to the watch.
	if (!caught_up())
		printf("the hook fell behind: events may be missing\n");
	show(r, take_events(), options.injected);
	if (break_kind >= 0)
		drop_break(r, static_cast<DWORD>(break_kind));
	print_replay(r);
	finish(0);
}
