// keyview: runs larnix.exe and shows every keyboard event a low-level hook sees meanwhile.
//
//   keyview.exe [--records] [--swallow] [--no-stderr] [--other-desktop] LARNIX.EXE ARG...
//                                                        one run on ARG...
//   keyview.exe [--records] [--swallow] LARNIX.EXE < RUNS  one run per line of RUNS
//   keyview.exe --map VK...                                MapVirtualKeyW's scan code for each VK
//
// A line of RUNS is "pipe" or "none" (whether the child gets a standard error handle),
// a tab, then the rest of the child's command line after its name, handed over verbatim
// so that the caller controls quoting and empty arguments. The default output is for a
// person, one line per event; --records writes one JSON object per run for the tests.
// --swallow, which --records implies, keeps every injected key it records from the rest
// of the system, so that a run acts on no window. --other-desktop starts the child on a
// desktop that is not receiving input, where the platform is expected to refuse its keys.
// Any program may stand in for larnix.exe.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <vector>

namespace {

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

// The viewer's own injections carry these in dwExtraInfo so that the hook can tell them
// from the child's: the marker that proves every earlier event has reached the hook, and
// the releases of keys a run left down.
const ULONG_PTR marker_info = 0x6b657976, cleanup_info = 0x6b657977;
const DWORD child_timeout_ms = 10000;

CRITICAL_SECTION lock;
std::vector<KeyEvent> seen;
HANDLE marker_seen, hook_ready;
HHOOK hook;
bool swallow;
LARGE_INTEGER clock_frequency;
// Every process a run starts, the ones the child starts included; keyview's end ends them.
HANDLE job;

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
			seen.push_back(KeyEvent{k->vkCode, k->scanCode, k->flags, k->time, now.QuadPart, 0});
			LeaveCriticalSection(&lock);
			// Swallowed, no window gets the key and its state never changes: nothing is left
			// down. A person's own typing is passed on.
			if (swallow && (k->flags & LLKHF_INJECTED))
				return 1;
		}
	}
	return CallNextHookEx(NULL, code, wparam, lparam);
}

// The hook is called on this thread, from its message loop, for as long as the viewer runs.
DWORD WINAPI hook_thread(LPVOID)
{
	MSG msg;
	PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);
	hook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboard_hook, GetModuleHandleW(NULL), 0);
	if (hook == NULL) {
		fprintf(stderr, "keyview: SetWindowsHookExW failed: %lu\n", GetLastError());
		ExitProcess(3);
	}
	SetEvent(hook_ready);
	while (GetMessageW(&msg, NULL, 0, 0) > 0)
		DispatchMessageW(&msg);
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

// Events reach the hook in the order they were injected, so once the marker sent after
// the child's end has arrived, so has everything the child sent. Returns ERROR_SUCCESS,
// the error of a refused marker, or WAIT_TIMEOUT when the hook never saw it.
DWORD drain_hook()
{
	ResetEvent(marker_seen);
	if (inject(0xFF, true, marker_info) != 1)
		return GetLastError();
	return WaitForSingleObject(marker_seen, 5000) == WAIT_OBJECT_0 ? ERROR_SUCCESS : WAIT_TIMEOUT;
}

struct Reader {
	HANDLE pipe;
	std::string bytes;
};

// Each pipe is read on its own thread, so that a child filling one cannot stall on it
// while the viewer waits on the other.
DWORD WINAPI read_pipe(LPVOID param)
{
	Reader *r = static_cast<Reader *>(param);
	char buffer[4096];
	DWORD got;
	while (ReadFile(r->pipe, buffer, sizeof buffer, &got, NULL) && got > 0)
		r->bytes.append(buffer, got);
	return 0;
}

std::wstring widen(const std::string &text)
{
	std::wstring wide(text.size() + 1, L'\0');
	const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
	                                  &wide[0], static_cast<int>(wide.size()));
	wide.resize(static_cast<size_t>(n > 0 ? n : 0));
	return wide;
}

double milliseconds(LONGLONG counts)
{
	return static_cast<double>(counts) * 1000.0 / static_cast<double>(clock_frequency.QuadPart);
}

bool job_empty_by(ULONGLONG deadline)
{
	JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
	while (QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, NULL) &&
	       info.ActiveProcesses > 0) {
		if (GetTickCount64() >= deadline)
			return false;
		Sleep(1);
	}
	return true;
}

// command is the child's whole command line, its name first; desktop, where not NULL, the
// desktop it starts on.
Run run_child(const std::wstring &program, const std::string &command, bool with_stderr, wchar_t *desktop)
{
	Run run{};
	EnterCriticalSection(&lock);
	seen.clear();
	LeaveCriticalSection(&lock);
	// Windows removes a hook that answers too slowly, without a word: no run starts unwatched.
	const DWORD error = drain_hook();
	if (error == WAIT_TIMEOUT) {
		fputs("keyview: the keyboard hook is gone; nothing more is started\n", stderr);
		ExitProcess(3);
	}
	if (error != ERROR_SUCCESS) {
		fprintf(stderr, "keyview: input is refused (SendInput error %lu): another desktop is receiving input, "
		                "such as a locked screen, a secure desktop or, under Wine, a prefix in its desktop "
		                "trap; nothing more is started\n", error);
		ExitProcess(3);
	}

	SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
	Reader out{}, err{};
	HANDLE out_write, err_write;
	CreatePipe(&out.pipe, &out_write, &inherit, 0);
	CreatePipe(&err.pipe, &err_write, &inherit, 0);
	SetHandleInformation(out.pipe, HANDLE_FLAG_INHERIT, 0);
	SetHandleInformation(err.pipe, HANDLE_FLAG_INHERIT, 0);

	STARTUPINFOW si;
	memset(&si, 0, sizeof si);
	si.cb = sizeof si;
	si.dwFlags = STARTF_USESTDHANDLES;
	si.hStdInput = GetStdHandle(STD_INPUT_HANDLE); // for cmd.exe, which reads its commands there
	si.hStdOutput = out_write;
	si.hStdError = with_stderr ? err_write : NULL;
	si.lpDesktop = desktop;
	std::wstring command_line = widen(command);
	PROCESS_INFORMATION pi;
	QueryPerformanceCounter(&run.started);
	// Wine now and then fails a start with ERROR_INTERNAL_ERROR and then succeeds. The child
	// starts suspended, so that nothing it starts can be outside the job.
	for (int attempt = 1; !CreateProcessW(program.c_str(), &command_line[0], NULL, NULL, TRUE,
	                                      CREATE_SUSPENDED, NULL, NULL, &si, &pi); attempt++) {
		fprintf(stderr, "keyview: cannot start %ls: %lu\n", program.c_str(), GetLastError());
		if (attempt == 3)
			ExitProcess(3);
		Sleep(200);
	}
	if (!AssignProcessToJobObject(job, pi.hProcess)) {
		fprintf(stderr, "keyview: cannot put %ls in a job: %lu\n", program.c_str(), GetLastError());
		TerminateProcess(pi.hProcess, 255);
		ExitProcess(3);
	}
	ResumeThread(pi.hThread);
	CloseHandle(out_write);
	CloseHandle(err_write);
	HANDLE readers[2] = {CreateThread(NULL, 0, read_pipe, &out, 0, NULL),
	                     CreateThread(NULL, 0, read_pipe, &err, 0, NULL)};

	// What the child started without waiting, such as larnix.exe from cmd's prompt, is part
	// of the run: its keys are awaited too.
	const ULONGLONG deadline = GetTickCount64() + child_timeout_ms;
	if (WaitForSingleObject(pi.hProcess, child_timeout_ms) != WAIT_OBJECT_0 || !job_empty_by(deadline)) {
		run.timed_out = true;
		TerminateJobObject(job, 255);
		WaitForSingleObject(pi.hProcess, INFINITE);
		job_empty_by(GetTickCount64() + 1000);
	}
	GetExitCodeProcess(pi.hProcess, &run.status);
	FILETIME created, exited, kernel, user;
	if (GetProcessTimes(pi.hProcess, &created, &exited, &kernel, &user)) {
		const auto ticks = [](FILETIME t) { return static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime; };
		run.wall_ms = static_cast<double>(ticks(exited) - ticks(created)) / 10000.0;
	}
	// A process the child started may still hold the pipes; their bytes are not awaited.
	if (WaitForMultipleObjects(2, readers, TRUE, 2000) != WAIT_OBJECT_0) {
		run.pipes_held = true;
		for (HANDLE reader : readers) {
			CancelSynchronousIo(reader);
			WaitForSingleObject(reader, 1000);
		}
	}
	for (HANDLE h : {readers[0], readers[1], out.pipe, err.pipe, pi.hProcess, pi.hThread})
		CloseHandle(h);
	run.out = out.bytes;
	run.err = err.bytes;

	run.drained = drain_hook() == ERROR_SUCCESS;
	EnterCriticalSection(&lock);
	run.events = seen;
	LeaveCriticalSection(&lock);

	// Keys the run left down are let go, unseen, so that runs do not bleed into each other.
	// Swallowed keys never went down.
	std::vector<DWORD> down;
	for (KeyEvent &e : run.events) {
		e.map = MapVirtualKeyW(e.vk, MAPVK_VK_TO_VSC);
		down.erase(std::remove(down.begin(), down.end(), e.vk), down.end());
		if (!(e.flags & LLKHF_UP))
			down.push_back(e.vk);
	}
	if (!swallow)
		for (DWORD vk : down)
			inject(static_cast<WORD>(vk), true, cleanup_info);
	return run;
}

const char *key_name(DWORD vk)
{
	static char text[8];
	if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
		snprintf(text, sizeof text, "%c", static_cast<char>(vk));
		return text;
	}
	if (vk >= VK_F1 && vk <= VK_F24) {
		snprintf(text, sizeof text, "F%lu", vk - VK_F1 + 1);
		return text;
	}
	switch (vk) {
	case VK_BACK: return "Backspace";
	case VK_TAB: return "Tab";
	case VK_RETURN: return "Enter";
	case VK_SHIFT: return "Shift";
	case VK_CONTROL: return "Ctrl";
	case VK_MENU: return "Alt";
	case VK_PAUSE: return "Pause";
	case VK_CAPITAL: return "CapsLock";
	case VK_ESCAPE: return "Esc";
	case VK_SPACE: return "Space";
	case VK_PRIOR: return "PageUp";
	case VK_NEXT: return "PageDown";
	case VK_END: return "End";
	case VK_HOME: return "Home";
	case VK_LEFT: return "Left";
	case VK_UP: return "Up";
	case VK_RIGHT: return "Right";
	case VK_DOWN: return "Down";
	case VK_SNAPSHOT: return "PrintScreen";
	case VK_INSERT: return "Insert";
	case VK_DELETE: return "Delete";
	case VK_LWIN: return "LWin";
	case VK_RWIN: return "RWin";
	case VK_APPS: return "Apps";
	case VK_MULTIPLY: return "Num*";
	case VK_ADD: return "Num+";
	case VK_SUBTRACT: return "Num-";
	case VK_DECIMAL: return "Num.";
	case VK_DIVIDE: return "Num/";
	case VK_NUMLOCK: return "NumLock";
	case VK_SCROLL: return "ScrollLock";
	case VK_LSHIFT: return "LShift";
	case VK_RSHIFT: return "RShift";
	case VK_LCONTROL: return "LCtrl";
	case VK_RCONTROL: return "RCtrl";
	case VK_LMENU: return "LAlt";
	case VK_RMENU: return "RAlt";
	}
	if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
		snprintf(text, sizeof text, "Num%lu", vk - VK_NUMPAD0);
		return text;
	}
	return "";
}

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

void print_for_person(const std::string &command, const Run &run)
{
	printf("%s\n", command.c_str());
	LONGLONG previous = run.events.empty() ? 0 : run.events[0].seen_at;
	for (const KeyEvent &e : run.events) {
		char mismatch[48] = "";
		if (e.map != e.scan)
			snprintf(mismatch, sizeof mismatch, " (MapVirtualKeyW says 0x%02x)", e.map);
		printf("%-7s 0x%02lx %-11s scan 0x%02lx%s%s%s  +%.1f ms\n", e.flags & LLKHF_UP ? "release" : "press",
		       e.vk, key_name(e.vk), e.scan, mismatch, e.flags & LLKHF_EXTENDED ? "  extended" : "",
		       e.flags & LLKHF_INJECTED ? "  injected" : "", milliseconds(e.seen_at - previous));
		previous = e.seen_at;
	}
	if (run.timed_out)
		printf("killed after %lu ms\n", child_timeout_ms);
	if (!run.drained)
		printf("the hook fell behind: events may be missing\n");
	if (run.pipes_held)
		printf("another process held the pipes: output may be missing\n");
	printf("exit status %lu\n", run.status);
	printf("stderr: %s\n", run.err.empty() ? "(nothing)" : ("\"" + escaped(run.err, false) + "\"").c_str());
	if (!run.out.empty())
		printf("stdout: \"%s\"\n", escaped(run.out, false).c_str());
	fflush(stdout);
}

void print_record(const Run &run)
{
	printf("{\"status\":%lu,\"wall_ms\":%.1f,\"timed_out\":%s,\"drained\":%s,\"pipes_held\":%s,\"out\":\"%s\","
	       "\"err\":\"%s\",\"events\":[",
	       run.status, run.wall_ms, run.timed_out ? "true" : "false", run.drained ? "true" : "false",
	       run.pipes_held ? "true" : "false",
	       escaped(run.out, true).c_str(), escaped(run.err, true).c_str());
	for (size_t i = 0; i < run.events.size(); i++) {
		const KeyEvent &e = run.events[i];
		printf("%s{\"vk\":%lu,\"scan\":%lu,\"flags\":%lu,\"time\":%lu,\"hook_ms\":%.3f,\"map\":%u}",
		       i ? "," : "", e.vk, e.scan, e.flags, e.time, milliseconds(e.seen_at - run.started.QuadPart), e.map);
	}
	printf("]}\n");
	fflush(stdout);
}

// One argument written so that the C runtime splits it back out unchanged: backslashes
// count double only before a quote, including the closing one.
std::string quoted(const std::string &arg)
{
	if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
		return arg;
	std::string text = "\"";
	size_t backslashes = 0;
	for (char c : arg) {
		if (c == '"')
			text.append(backslashes + 1, '\\');
		backslashes = c == '\\' ? backslashes + 1 : 0;
		text += c;
	}
	return text.append(backslashes, '\\') + "\"";
}

} // namespace

int main(int argc, char **argv)
{
	_setmode(_fileno(stdout), _O_BINARY);
	_setmode(_fileno(stdin), _O_BINARY);
	if (argc > 1 && strcmp(argv[1], "--map") == 0) {
		// As a test asks it of the same platform: the scan code for the code larnix sent,
		// which the hook may report as another code.
		printf("{");
		for (int i = 2; i < argc; i++) {
			const UINT vk = static_cast<UINT>(strtoul(argv[i], NULL, 16));
			printf("%s\"%u\":%u", i > 2 ? "," : "", vk, MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
		}
		printf("}\n");
		return 0;
	}
	bool records = false, with_stderr = true;
	wchar_t *desktop = NULL;
	static wchar_t other_desktop[] = L"keyview-other";
	int i = 1;
	for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
		if (strcmp(argv[i], "--records") == 0)
			records = swallow = true;
		else if (strcmp(argv[i], "--swallow") == 0)
			swallow = true;
		else if (strcmp(argv[i], "--no-stderr") == 0)
			with_stderr = false;
		else if (strcmp(argv[i], "--other-desktop") == 0)
			desktop = other_desktop;
		else
			break;
	}
	if (i >= argc) {
		fputs("usage: keyview.exe [--records] [--swallow] [--no-stderr] [--other-desktop] LARNIX.EXE [ARG...]\n"
		      "       keyview.exe --map VK...\n", stderr);
		return 2;
	}
	// A desktop of its own, never switched to: it does not receive input. Kept open for the runs.
	if (desktop != NULL && CreateDesktopW(desktop, NULL, NULL, 0, GENERIC_ALL, NULL) == NULL) {
		fprintf(stderr, "keyview: CreateDesktopW failed: %lu\n", GetLastError());
		return 3;
	}
	const std::wstring program = widen(argv[i]);
	const std::string name = quoted(argv[i++]);

	QueryPerformanceFrequency(&clock_frequency);
	job = CreateJobObjectW(NULL, NULL);
	JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
	memset(&limits, 0, sizeof limits);
	limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
	SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

	InitializeCriticalSection(&lock);
	marker_seen = CreateEventW(NULL, TRUE, FALSE, NULL);
	hook_ready = CreateEventW(NULL, TRUE, FALSE, NULL);
	CreateThread(NULL, 0, hook_thread, NULL, 0, NULL);
	if (WaitForSingleObject(hook_ready, 10000) != WAIT_OBJECT_0) {
		fputs("keyview: the keyboard hook did not come up\n", stderr);
		return 3;
	}
	// Wine starts its desktop process on first need; started now, it cannot inherit a
	// child's pipes and hold them open.
	GetDesktopWindow();

	std::vector<std::pair<bool, std::string>> runs;
	if (i < argc) {
		std::string command = name;
		for (; i < argc; i++)
			command += " " + quoted(argv[i]);
		runs.emplace_back(with_stderr, command);
	} else {
		std::string line;
		for (int c; (c = getchar()) != EOF;) {
			if (c != '\n') {
				line += static_cast<char>(c);
				continue;
			}
			if (!line.empty() && line.back() == '\r')
				line.pop_back();
			const size_t tab = line.find('\t');
			if (tab == std::string::npos || (line.compare(0, tab, "pipe") && line.compare(0, tab, "none"))) {
				fprintf(stderr, "keyview: a line must be \"pipe\" or \"none\", a tab, the arguments\n");
				return 2;
			}
			const std::string args = line.substr(tab + 1);
			runs.emplace_back(line.compare(0, tab, "pipe") == 0, args.empty() ? name : name + " " + args);
			line.clear();
		}
	}
	for (const auto &r : runs) {
		const Run run = run_child(program, r.second, r.first, desktop);
		if (records)
			print_record(run);
		else
			print_for_person(r.second, run);
	}
	// Wine keeps the hook of a process that ended with it, and a later hook's events stall on it.
	UnhookWindowsHookEx(hook);
	return 0;
}
