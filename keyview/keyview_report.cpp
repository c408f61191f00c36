// How a run is shown: for a person, one line per event, or as one JSON record for the tests;
// and the person's line for one event.
#include "keyview.h"

#include <cstdio>

namespace {

double milliseconds(LONGLONG counts)
{
	static const LONGLONG frequency = [] {
		LARGE_INTEGER f;
		QueryPerformanceFrequency(&f); // cannot fail since Windows XP
		return f.QuadPart;
	}();
	return static_cast<double>(counts) * 1000.0 / static_cast<double>(frequency);
}

} // namespace

const char *key_name(DWORD vk)
{
	static const struct {
		DWORD vk;
		const char *name;
	} names[] = {
	    {VK_BACK, "Backspace"}, {VK_TAB, "Tab"}, {VK_RETURN, "Enter"}, {VK_SHIFT, "Shift"},
	    {VK_CONTROL, "Ctrl"}, {VK_MENU, "Alt"}, {VK_PAUSE, "Pause"}, {VK_CAPITAL, "CapsLock"},
	    {VK_ESCAPE, "Esc"}, {VK_SPACE, "Space"}, {VK_PRIOR, "PageUp"}, {VK_NEXT, "PageDown"},
	    {VK_END, "End"}, {VK_HOME, "Home"}, {VK_LEFT, "Left"}, {VK_UP, "Up"},
	    {VK_RIGHT, "Right"}, {VK_DOWN, "Down"}, {VK_SNAPSHOT, "PrintScreen"},
	    {VK_INSERT, "Insert"}, {VK_DELETE, "Delete"}, {VK_LWIN, "LWin"}, {VK_RWIN, "RWin"},
	    {VK_APPS, "Apps"}, {VK_MULTIPLY, "Num*"}, {VK_ADD, "Num+"}, {VK_SUBTRACT, "Num-"},
	    {VK_DECIMAL, "Num."}, {VK_DIVIDE, "Num/"}, {VK_NUMLOCK, "NumLock"},
	    {VK_SCROLL, "ScrollLock"}, {VK_LSHIFT, "LShift"}, {VK_RSHIFT, "RShift"},
	    {VK_LCONTROL, "LCtrl"}, {VK_RCONTROL, "RCtrl"}, {VK_LMENU, "LAlt"}, {VK_RMENU, "RAlt"},
	};
	for (const auto &known : names)
		if (known.vk == vk)
			return known.name;
	static char text[8];
	if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
		snprintf(text, sizeof text, "%c", static_cast<char>(vk));
	else if (vk >= VK_F1 && vk <= VK_F24)
		snprintf(text, sizeof text, "F%lu", vk - VK_F1 + 1);
	else if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9)
		snprintf(text, sizeof text, "Num%lu", vk - VK_NUMPAD0);
	else
		return "";
	return text;
}

namespace {

// Bytes as C would write them, so that a person sees every byte of standard error.
std::string escaped(const std::string &bytes, bool json)
{
	std::string text;
	for (char byte : bytes) {
		const unsigned char c = static_cast<unsigned char>(byte);
		char buffer[8];
		if (c == '"' || c == '\\')
			snprintf(buffer, sizeof buffer, "\\%c", c);
		else if (c == '\n' && !json)
			snprintf(buffer, sizeof buffer, "\\n");
		else if (c < 0x20 || c >= 0x7f)
			snprintf(buffer, sizeof buffer, json ? "\\u%04x" : "\\x%02x", c);
		else
			snprintf(buffer, sizeof buffer, "%c", c);
		text += buffer;
	}
	return text;
}

} // namespace

void print_event(const KeyEvent &e, LONGLONG previous)
{
	char mismatch[48] = "";
	if (e.map != e.scan)
		snprintf(mismatch, sizeof mismatch, " (MapVirtualKeyW says 0x%02x)", e.map);
	printf("%-7s 0x%02lx %-11s scan 0x%02lx%s%s%s  +%.1f ms\n",
	       e.flags & LLKHF_UP ? "release" : "press", e.vk, key_name(e.vk), e.scan, mismatch,
	       e.flags & LLKHF_EXTENDED ? "  extended" : "",
	       e.flags & LLKHF_INJECTED ? "  injected" : "", milliseconds(e.seen_at - previous));
}

void print_for_person(const std::string &command, const Run &run)
{
	printf("%s\n", command.c_str());
	LONGLONG previous = run.events.empty() ? 0 : run.events[0].seen_at;
	for (const KeyEvent &e : run.events) {
		print_event(e, previous);
		previous = e.seen_at;
	}
	if (run.timed_out)
		printf("killed after %lu ms\n", run.timeout_ms);
	if (!run.drained)
		printf("the hook fell behind: events may be missing\n");
	if (run.pipes_held)
		printf("another process held the pipes: output may be missing\n");
	printf("exit status %lu\n", run.status);
	if (run.err.empty())
		printf("stderr: (nothing)\n");
	else
		printf("stderr: \"%s\"\n", escaped(run.err, false).c_str());
	if (!run.out.empty())
		printf("stdout: \"%s\"\n", escaped(run.out, false).c_str());
	fflush(stdout);
}

void print_record(const Run &run)
{
	const auto json = [](bool value) { return value ? "true" : "false"; };
	printf("{\"status\":%lu,\"wall_ms\":%.1f,\"timed_out\":%s,\"drained\":%s,"
	       "\"pipes_held\":%s,\"out\":\"%s\",\"err\":\"%s\",\"events\":[",
	       run.status, run.wall_ms, json(run.timed_out), json(run.drained),
	       json(run.pipes_held), escaped(run.out, true).c_str(),
	       escaped(run.err, true).c_str());
	for (size_t i = 0; i < run.events.size(); i++) {
		const KeyEvent &e = run.events[i];
		printf("%s{\"vk\":%lu,\"scan\":%lu,\"flags\":%lu,\"time\":%lu,\"hook_ms\":%.3f,"
		       "\"map\":%u}", i ? "," : "", e.vk, e.scan, e.flags, e.time,
		       milliseconds(e.seen_at - run.started.QuadPart), e.map);
	}
	printf("]}\n");
	fflush(stdout);
}
