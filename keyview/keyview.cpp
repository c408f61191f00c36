// keyview: runs larnix.exe and shows every keyboard event a low-level hook sees meanwhile.
//
//   keyview.exe [--records] [--swallow] [--no-stderr] [--other-desktop] [--timeout SECONDS]
//               LARNIX.EXE ARG...                        one run on ARG...
//   keyview.exe [--records] [--swallow] [--timeout SECONDS] LARNIX.EXE < RUNS
//                                                        one run per line of RUNS
//   keyview.exe --map VK...                                MapVirtualKeyW's scan code for each VK
//   keyview.exe --keyboard [--injected] [--swallow] [--idle SECONDS]
//                                                        the keyboard watched, and the line
//                                                        that replays it
//
// A line of RUNS is "pipe" or "none" (whether the child gets a standard error handle),
// a tab, then the rest of the child's command line after its name, handed over verbatim
// so that the caller controls quoting and empty arguments. The default output is for a
// person, one line per event; --records writes one JSON object per run for the tests.
// --swallow, which --records implies, keeps every injected key it records from the rest
// of the system, so that a run acts on no window. --other-desktop starts the child on a
// desktop that is not receiving input, where the platform is expected to refuse its keys.
// A run that lasts past --timeout SECONDS (10 unless given) is ended, with everything it
// started. Any program may stand in for larnix.exe. --keyboard starts no program: it shows
// the keys a person types, injected ones too with --injected, until Ctrl+C or SECONDS (30
// unless given) with no key, then the larnix.exe line that sends them.
#include "keyview.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

// Arguments such as down:* must reach larnix as typed, whatever the toolchain's default.
extern "C" {
int _dowildcard = 0;
}

namespace {

struct Options {
	bool records = false, swallow = false, with_stderr = true, other_desktop = false;
	DWORD timeout_ms = child_timeout_ms;
	int program = 0; // the index of LARNIX.EXE in argv, argc when it is missing
};

// One run to make: whether the child gets a standard error handle, and its command line.
struct Planned {
	bool with_stderr;
	std::string command;
};

// As a test asks it of the same platform: the scan code for the code larnix sent, which the
// hook may report as another code.
void print_scan_codes(int argc, char **argv)
{
	printf("{");
	for (int i = 2; i < argc; i++) {
		const UINT vk = static_cast<UINT>(strtoul(argv[i], NULL, 16));
		printf("%s\"%u\":%u", i > 2 ? "," : "", vk, MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
	}
	printf("}\n");
}

[[noreturn]] void usage()
{
	fputs("usage: keyview.exe [--records] [--swallow] [--no-stderr] [--other-desktop] "
	      "[--timeout SECONDS] LARNIX.EXE [ARG...]\n"
	      "       keyview.exe --keyboard [--injected] [--swallow] [--idle SECONDS]\n"
	      "       keyview.exe --map VK...\n", stderr);
	finish(2);
}

// Whether the options before any program's name ask for the keyboard.
bool asks_for_keyboard(int argc, char **argv)
{
	for (int i = 1; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
		if (strcmp(argv[i], "--keyboard") == 0)
			return true;
		i += strcmp(argv[i], "--idle") == 0;
	}
	return false;
}

// An option's count of seconds: decimal digits alone, from 1 to most.
DWORD seconds(const char *text, unsigned long most)
{
	char *end;
	const unsigned long value = strtoul(text, &end, 10);
	if (*end != '\0' || value < 1 || value > most || text[0] == '-' || text[0] == '+')
		usage();
	return static_cast<DWORD>(value);
}

KeyboardOptions read_keyboard_options(int argc, char **argv)
{
	KeyboardOptions options{false, false, 30};
	for (int i = 1; i < argc; i++) {
		if (strcmp(argv[i], "--injected") == 0) {
			options.injected = true;
		} else if (strcmp(argv[i], "--swallow") == 0) {
			options.swallow = true;
		} else if (strcmp(argv[i], "--idle") == 0 && i + 1 < argc) {
			options.idle_s = seconds(argv[++i], 86400);
		} else if (strcmp(argv[i], "--keyboard") != 0) {
			usage();
		}
	}
	return options;
}

Options read_options(int argc, char **argv)
{
	Options options;
	int i = 1;
	for (; i < argc && strncmp(argv[i], "--", 2) == 0; i++) {
		if (strcmp(argv[i], "--records") == 0)
			options.records = options.swallow = true;
		else if (strcmp(argv[i], "--swallow") == 0)
			options.swallow = true;
		else if (strcmp(argv[i], "--no-stderr") == 0)
			options.with_stderr = false;
		else if (strcmp(argv[i], "--other-desktop") == 0)
			options.other_desktop = true;
		else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
			options.timeout_ms = seconds(argv[++i], 3600) * 1000;
		else
			break;
	}
	options.program = i;
	return options;
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

// The one run keyview's own arguments ask for, from the program's on.
std::vector<Planned> run_from_arguments(int argc, char **argv, const Options &options)
{
	std::string command = quoted(argv[options.program]);
	for (int i = options.program + 1; i < argc; i++)
		command += " " + quoted(argv[i]);
	return {Planned{options.with_stderr, command}};
}

// A run for each line of standard input; name is the program's, first on each command line.
std::vector<Planned> runs_from_input(const std::string &name)
{
	std::vector<Planned> runs;
	std::string line;
	for (int c; (c = getchar()) != EOF;) {
		if (c != '\n') {
			line += static_cast<char>(c);
			continue;
		}
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		const size_t tab = line.find('\t');
		const std::string how = line.substr(0, tab);
		if (tab == std::string::npos || (how != "pipe" && how != "none")) {
			fputs("keyview: a line must be \"pipe\" or \"none\", a tab, the arguments"
			      "\n", stderr);
			finish(2);
		}
		const std::string args = line.substr(tab + 1);
		runs.push_back(Planned{how == "pipe", args.empty() ? name : name + " " + args});
		line.clear();
	}
	return runs;
}

} // namespace

int main(int argc, char **argv)
{
	_setmode(_fileno(stdout), _O_BINARY);
	_setmode(_fileno(stdin), _O_BINARY);
	if (argc > 1 && strcmp(argv[1], "--map") == 0) {
		print_scan_codes(argc, argv);
		finish(0);
	}
	if (asks_for_keyboard(argc, argv))
		watch_keyboard(read_keyboard_options(argc, argv));
	const Options options = read_options(argc, argv);
	if (options.program >= argc)
		usage();
	const std::wstring program = widen(argv[options.program]);
	const std::vector<Planned> runs = options.program + 1 < argc
	                                      ? run_from_arguments(argc, argv, options)
	                                      : runs_from_input(quoted(argv[options.program]));

	// A desktop of its own, never switched to: it does not receive input.
	static wchar_t other_desktop[] = L"keyview-other";
	wchar_t *desktop = options.other_desktop ? other_desktop : NULL;
	if (desktop != NULL)
		held.desktop = checked(CreateDesktopW(desktop, NULL, NULL, 0, GENERIC_ALL, NULL),
		                       "CreateDesktopW");
	make_job();
	start_hook(options.swallow);
	// Wine starts its desktop process on first need; started now, it cannot inherit a
	// child's pipes and hold them open.
	GetDesktopWindow();
	for (const Planned &planned : runs) {
		const Run run = run_child(program, planned.command, planned.with_stderr, desktop,
		                          options.timeout_ms);
		if (options.records)
			print_record(run);
		else
			print_for_person(planned.command, run);
	}
	finish(0);
}
