// One run: the child started in keyview's job, awaited with everything it started, and its
// status, time and output collected.
#include "keyview.h"

#include <cstring>

namespace {

struct Reader {
	HANDLE pipe, thread;
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

// Returns the write end, for the child to inherit; the reader keeps the other.
HANDLE open_pipe(Reader &reader)
{
	SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
	HANDLE write_end;
	checked(CreatePipe(&reader.pipe, &write_end, &inherit, 0), "CreatePipe");
	checked(SetHandleInformation(reader.pipe, HANDLE_FLAG_INHERIT, 0), "SetHandleInformation");
	return write_end;
}

// The child starts suspended, so that nothing it starts can be outside the job. command is
// its whole command line, its name first; desktop, where not NULL, the desktop it starts on.
PROCESS_INFORMATION start_in_job(const std::wstring &program, const std::string &command,
                                 HANDLE out, HANDLE err, wchar_t *desktop)
{
	STARTUPINFOW si;
	memset(&si, 0, sizeof si);
	si.cb = sizeof si;
	si.dwFlags = STARTF_USESTDHANDLES;
	si.hStdInput = GetStdHandle(STD_INPUT_HANDLE); // for cmd.exe, which reads commands there
	si.hStdOutput = out;
	si.hStdError = err;
	si.lpDesktop = desktop;
	std::wstring command_line = widen(command);
	PROCESS_INFORMATION pi;
	// Wine now and then fails a start with ERROR_INTERNAL_ERROR and then succeeds.
	for (int attempt = 1; !CreateProcessW(program.c_str(), &command_line[0], NULL, NULL, TRUE,
	                                      CREATE_SUSPENDED, NULL, NULL, &si, &pi); attempt++) {
		if (attempt == 3)
			fail("cannot start %ls: %lu", program.c_str(), GetLastError());
		Sleep(200);
	}
	if (!AssignProcessToJobObject(held.job, pi.hProcess)) {
		const DWORD error = GetLastError();
		TerminateProcess(pi.hProcess, 255);
		fail("cannot put %ls in a job: %lu", program.c_str(), error);
	}
	if (ResumeThread(pi.hThread) == static_cast<DWORD>(-1))
		fail("ResumeThread failed: %lu", GetLastError());
	return pi;
}

bool job_empty_by(ULONGLONG deadline)
{
	JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
	for (;;) {
		checked(QueryInformationJobObject(held.job, JobObjectBasicAccountingInformation,
		                                  &info, sizeof info, NULL),
		        "QueryInformationJobObject");
		if (info.ActiveProcesses == 0)
			return true;
		if (GetTickCount64() >= deadline)
			return false;
		Sleep(1);
	}
}

// What the child started without waiting, such as larnix.exe from cmd's prompt, is part of
// the run: its keys are awaited too. A run over the time allowed is ended, job and all.
void await_end(HANDLE child, Run &run)
{
	const ULONGLONG deadline = GetTickCount64() + run.timeout_ms;
	if (WaitForSingleObject(child, run.timeout_ms) != WAIT_OBJECT_0 ||
	    !job_empty_by(deadline)) {
		run.timed_out = true;
		checked(TerminateJobObject(held.job, 255), "TerminateJobObject");
		WaitForSingleObject(child, INFINITE);
		job_empty_by(GetTickCount64() + 1000);
	}
	checked(GetExitCodeProcess(child, &run.status), "GetExitCodeProcess");
	FILETIME created, exited, kernel, user;
	checked(GetProcessTimes(child, &created, &exited, &kernel, &user), "GetProcessTimes");
	const auto ticks = [](FILETIME t) {
		return static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
	};
	run.wall_ms = static_cast<double>(ticks(exited) - ticks(created)) / 10000.0;
}

// A process the child started may still hold the pipes; their bytes are not awaited.
void collect_output(Reader &out, Reader &err, Run &run)
{
	HANDLE readers[2] = {out.thread, err.thread};
	if (WaitForMultipleObjects(2, readers, TRUE, 2000) != WAIT_OBJECT_0) {
		run.pipes_held = true;
		for (HANDLE reader : readers) {
			CancelSynchronousIo(reader);
			WaitForSingleObject(reader, 1000);
		}
	}
	for (HANDLE h : {out.thread, err.thread, out.pipe, err.pipe})
		CloseHandle(h);
	run.out = out.bytes;
	run.err = err.bytes;
}

} // namespace

std::wstring widen(const std::string &text)
{
	std::wstring wide(text.size() + 1, L'\0');
	const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
	                                  &wide[0], static_cast<int>(wide.size()));
	wide.resize(static_cast<size_t>(n > 0 ? n : 0));
	return wide;
}

void make_job()
{
	held.job = checked(CreateJobObjectW(NULL, NULL), "CreateJobObjectW");
	JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
	memset(&limits, 0, sizeof limits);
	limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
	checked(SetInformationJobObject(held.job, JobObjectExtendedLimitInformation, &limits,
	                                sizeof limits),
	        "SetInformationJobObject");
}

Run run_child(const std::wstring &program, const std::string &command, bool with_stderr,
              wchar_t *desktop, DWORD timeout_ms)
{
	Run run{};
	run.timeout_ms = timeout_ms;
	start_watching();
	Reader out{}, err{};
	HANDLE out_write = open_pipe(out), err_write = open_pipe(err);
	QueryPerformanceCounter(&run.started);
	const PROCESS_INFORMATION child =
	    start_in_job(program, command, out_write, with_stderr ? err_write : NULL, desktop);
	CloseHandle(out_write);
	CloseHandle(err_write);
	out.thread = checked(CreateThread(NULL, 0, read_pipe, &out, 0, NULL), "CreateThread");
	err.thread = checked(CreateThread(NULL, 0, read_pipe, &err, 0, NULL), "CreateThread");
	await_end(child.hProcess, run);
	collect_output(out, err, run);
	CloseHandle(child.hProcess);
	CloseHandle(child.hThread);
	stop_watching(run);
	return run;
}
