// Coverage-guided fuzzing of main against the stand-in platform. The input is read as
//   byte 0      refusal: bit 7 set means no event is refused, else the 0-based index of
//               the SendInput call that the platform refuses (bits 0-6)
//   byte 1      bits 0-1: what the refusing SendInput answers (0, 2, 0xFFFFFFFF, or 1,
//               which is no refusal at all); bit 2: standard error is closed
//   bytes 2-5   the error code GetLastError then gives (little-endian)
//   bytes 6-9   what MapVirtualKeyW adds to the key code to answer (little-endian)
//   the rest    the arguments, each ended by a zero byte (the last one may lack it)
// A short input leaves the missing header bytes zero and has no arguments.
//
// Every run is held against a model of the argument rules written here on its own: the
// exit status, every byte on standard error, nothing on standard output, and the events
// and pauses sent, each record checked byte for byte by trace().
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness.h"

namespace {

struct Input {
	platform::Behaviour behaviour;
	bool stderr_closed = false;
	std::vector<std::string> args;
};

Input decode(const uint8_t *data, size_t size)
{
	uint8_t header[10] = {};
	const size_t header_size = size < sizeof header ? size : sizeof header;
	for (size_t i = 0; i < header_size; i++)
		header[i] = data[i];
	const auto word = [&](size_t at) {
		return static_cast<uint32_t>(header[at]) |
		       static_cast<uint32_t>(header[at + 1]) << 8 |
		       static_cast<uint32_t>(header[at + 2]) << 16 |
		       static_cast<uint32_t>(header[at + 3]) << 24;
	};
	static const UINT answers[] = {0, 2, 0xFFFFFFFFu, 1};

	Input input;
	input.behaviour.refuse_send = header[0] & 0x80 ? -1 : header[0];
	input.behaviour.refused_answer = answers[header[1] & 3];
	input.stderr_closed = (header[1] & 4) != 0;
	input.behaviour.refusal_error = word(2);
	input.behaviour.scan_code_offset = word(6);

	const char *rest = reinterpret_cast<const char *>(data + header_size);
	const size_t rest_size = size - header_size;
	size_t start = 0;
	for (size_t i = 0; i < rest_size; i++)
		if (rest[i] == '\0') {
			input.args.emplace_back(rest + start, i - start);
			start = i + 1;
		}
	if (start < rest_size)
		input.args.emplace_back(rest + start, rest_size - start);
	return input;
}

int hex_value(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

// The key text read in base 16 into 32 bits: blanks, one sign and a 0x prefix may lead;
// reading ends at the first non-digit; too large a magnitude gives all ones, sign or
// not; otherwise a minus negates modulo 2^32.
uint32_t key_value(const std::string &text)
{
	size_t i = text.find_first_not_of(" \t\n\v\f\r");
	if (i == std::string::npos)
		return 0;
	bool minus = false;
	if (text[i] == '-' || text[i] == '+')
		minus = text[i++] == '-';
	if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0)
		i += 2; // without a digit after it, "0x" reads as 0 anyway
	uint64_t magnitude = 0;
	for (; i < text.size() && hex_value(text[i]) >= 0; i++) {
		magnitude = magnitude * 16 + static_cast<uint64_t>(hex_value(text[i]));
		if (magnitude > 0xFFFFFFFFu)
			return 0xFFFFFFFFu;
	}
	const uint32_t value = static_cast<uint32_t>(magnitude);
	return minus ? static_cast<uint32_t>(0x100000000u - value) : value;
}

struct Expected {
	int status = 0;
	std::string err, events;
};

std::string hex(unsigned int value)
{
	char text[16];
	snprintf(text, sizeof text, "%x", value);
	return text;
}

Expected model(const Input &input)
{
	Expected expected;
	if (input.args.empty()) {
		expected.status = 2;
		expected.err = "usage: larnix.exe (down|up|tap):<hex vk> ...\n";
		return expected;
	}
	int sends = 0;
	const auto event = [&](unsigned int vk, bool release) {
		expected.events += (expected.events.empty() ? "" : ", ") +
		                   std::string(release ? "up " : "down ") + hex(vk);
		const platform::Behaviour &b = input.behaviour;
		if (sends++ != b.refuse_send || b.refused_answer == 1)
			return true;
		expected.status = 1;
		expected.err = "SendInput failed for " + hex(vk) + ": " +
		               std::to_string(b.refusal_error) + "\n";
		return false;
	};
	for (const std::string &arg : input.args) {
		const size_t colon = arg.find(':');
		const unsigned int vk =
		    colon == std::string::npos ? 0 : key_value(arg.substr(colon + 1)) & 0xFFFFu;
		const std::string op = colon == std::string::npos ? "" : arg.substr(0, colon);
		if (colon != std::string::npos && vk == 0) {
			expected.status = 2;
			expected.err = "bad key " + arg + "\n";
			return expected;
		}
		if (op != "down" && op != "up" && op != "tap") {
			expected.status = 2;
			expected.err = "bad op " + arg + "\n";
			return expected;
		}
		if (op != "up" && !event(vk, false))
			return expected;
		if (op != "down" && !event(vk, true))
			return expected;
		expected.events += ", sleep 8";
	}
	return expected;
}

std::string shown(const std::string &text)
{
	std::string out;
	for (char c : text) {
		if (out.size() > 400) {
			out += "...";
			break;
		}
		if (c >= 0x20 && c < 0x7F && c != '\\')
			out += c;
		else {
			char escape[8];
			snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(c));
			out += escape;
		}
	}
	return out;
}

void fail(const Input &input, const Outcome &got, const Expected &expected, const char *what)
{
	fprintf(stderr, "invariant broken: %s\n", what);
	fprintf(stderr, "%zu arguments, refuse_send %d answer %u error %u, stderr %s\n",
	        input.args.size(), input.behaviour.refuse_send, input.behaviour.refused_answer,
	        input.behaviour.refusal_error, input.stderr_closed ? "closed" : "open");
	for (size_t i = 0; i < input.args.size() && i < 20; i++)
		fprintf(stderr, "  arg %zu: \"%s\"\n", i, shown(input.args[i]).c_str());
	fprintf(stderr, "status %d, expected %d\n", got.status, expected.status);
	fprintf(stderr, "stderr \"%s\"\n  expected \"%s\"\n", shown(got.err).c_str(),
	        shown(expected.err).c_str());
	fprintf(stderr, "stdout \"%s\"\n", shown(got.out).c_str());
	fprintf(stderr, "events %s\n  expected %s\n", shown(got.trace).c_str(),
	        shown(expected.events).c_str());
	abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
	const Input input = decode(data, size);
	const Outcome got =
	    run_larnix(input.args, input.behaviour,
	               input.stderr_closed ? StandardError::closed : StandardError::caught);
	Expected expected = model(input);
	if (input.stderr_closed)
		expected.err.clear();

	if (got.status != 0 && got.status != 1 && got.status != 2)
		fail(input, got, expected, "exit status other than 0, 1 or 2");
	if (!got.out.empty())
		fail(input, got, expected, "something went to standard output");
	if (got.status != expected.status)
		fail(input, got, expected, "exit status");
	if (got.err != expected.err)
		fail(input, got, expected, "standard error");
	if (got.trace != expected.events)
		fail(input, got, expected, "events sent");
	return 0;
}
