#include "harness.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LARNIX_SANITIZED 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define LARNIX_SANITIZED 1
#endif
#ifdef LARNIX_SANITIZED
#include <cstdint>
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

#ifdef LARNIX_SANITIZED
// A sanitizer's report goes to the standard error the process started with, not to the
// file that catches the program's own while it runs.
const bool reports_kept = [] {
	__sanitizer_set_report_fd(reinterpret_cast<void *>(static_cast<intptr_t>(dup(2))));
	return true;
}();
#endif

FILE *caught_out, *caught_err;
int saved_out = -1, saved_err = -1;

void redirect(int fd, FILE *&file, int &saved)
{
	file = tmpfile();
	saved = dup(fd);
	dup2(fileno(file), fd);
}

std::string restore(int fd, FILE *file, int saved)
{
	dup2(saved, fd);
	close(saved);
	std::string text;
	rewind(file);
	char buffer[4096];
	size_t got;
	while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
		text.append(buffer, got);
	fclose(file);
	return text;
}

unsigned int read_le(const std::string &bytes, size_t at, size_t width)
{
	unsigned int value = 0;
	for (size_t i = 0; i < width; i++)
		value |= static_cast<unsigned int>(static_cast<unsigned char>(bytes[at + i]))
		         << (8 * i);
	return value;
}

// Checks one SendInput call and the MapVirtualKeyW call before it against the record the
// platform must get: type 1 at 0, vk at 8, scan code at 10, flags at 12, zero elsewhere.
std::string describe_send(const platform::Call *map, const platform::Call &send,
                          const platform::Behaviour &behaviour)
{
	char text[160];
	if (send.count != 1 || send.size != 40 || send.bytes.size() != 40) {
		snprintf(text, sizeof text, "record count %u size %d", send.count, send.size);
		return text;
	}
	const std::string &b = send.bytes;
	const unsigned int vk = read_le(b, 8, 2), scan = read_le(b, 10, 2),
	                   flags = read_le(b, 12, 4);
	std::string zero(40, '\0');
	zero.replace(0, 4, b, 0, 4);
	zero.replace(8, 8, b, 8, 8);
	const unsigned int expected_flags = (listed_as_extended(vk) ? 1u : 0u) | (flags & 2u);
	if (map == nullptr || map->code != vk || map->map_type != 0)
		snprintf(text, sizeof text, "record %x without its scan-code lookup", vk);
	else if (read_le(b, 0, 4) != 1 || zero != b)
		snprintf(text, sizeof text, "record %x with stray bytes", vk);
	else if (scan != ((vk + behaviour.scan_code_offset) & 0xFFFFu))
		snprintf(text, sizeof text, "record %x with scan code %x", vk, scan);
	else if (flags != expected_flags)
		snprintf(text, sizeof text, "record %x with flags %x", vk, flags);
	else
		snprintf(text, sizeof text, "%s %x", flags & 2u ? "up" : "down", vk);
	return text;
}

} // namespace

void begin_capture()
{
	fflush(stdout);
	fflush(stderr);
	redirect(1, caught_out, saved_out);
	redirect(2, caught_err, saved_err);
}

void end_capture(std::string &out, std::string &err)
{
	fflush(stdout);
	fflush(stderr);
	out = restore(1, caught_out, saved_out);
	err = restore(2, caught_err, saved_err);
}

bool listed_as_extended(unsigned int code)
{
	static const unsigned int extended[] = {0x21, 0x22, 0x23, 0x24, 0x25, 0x26,
	                                        0x27, 0x28, 0x2C, 0x2D, 0x2E, 0x5B,
	                                        0x5C, 0x5D, 0x6F, 0x90, 0xA3, 0xA5};
	for (unsigned int listed : extended)
		if (code == listed)
			return true;
	return false;
}

std::string trace(const platform::Behaviour &behaviour)
{
	std::string text;
	const platform::Call *map = nullptr;
	for (const platform::Call &call : platform::calls()) {
		if (call.kind == platform::Call::MAP) {
			map = &call;
			continue;
		}
		std::string item;
		if (call.kind == platform::Call::SEND)
			item = describe_send(map, call, behaviour);
		else if (call.kind == platform::Call::SLEEP)
			item = "sleep " + std::to_string(call.milliseconds);
		else
			item = call.fd == 2 && call.mode == _O_BINARY ? "binary stderr" : "setmode";
		map = nullptr;
		text += (text.empty() ? "" : ", ") + item;
	}
	if (map != nullptr)
		text += ", lookup without a record";
	return text;
}

Outcome run_larnix(const std::vector<std::string> &args, const platform::Behaviour &behaviour,
                   StandardError standard_error)
{
	// Each argument in a block of exactly its own size, terminator included, so that a
	// sanitizer sees any read past its end.
	std::vector<std::string> words(1, "larnix.exe");
	words.insert(words.end(), args.begin(), args.end());
	std::vector<std::unique_ptr<char[]>> blocks;
	std::vector<char *> argv;
	for (const std::string &word : words) {
		blocks.emplace_back(new char[word.size() + 1]);
		memcpy(blocks.back().get(), word.c_str(), word.size() + 1);
		argv.push_back(blocks.back().get());
	}
	argv.push_back(nullptr);

	Outcome outcome{};
	platform::reset(behaviour);
	capture(outcome.out, outcome.err, [&] {
		if (standard_error == StandardError::closed)
			close(2);
		outcome.status = larnix_main(static_cast<int>(words.size()), argv.data());
	});
	clearerr(stderr); // writes to a closed descriptor leave the stream's error mark set
	outcome.trace = trace(behaviour);
	// Standard error, when there is one, must be binary before anything can be written to
	// it; without one there is no mode to set.
	if (standard_error == StandardError::closed)
		return outcome;
	const std::string first = "binary stderr";
	if (outcome.trace.compare(0, first.size(), first) == 0)
		outcome.trace.erase(
		    0, outcome.trace.size() > first.size() ? first.size() + 2 : first.size());
	else
		outcome.trace = "stderr not made binary first: " + outcome.trace;
	return outcome;
}
