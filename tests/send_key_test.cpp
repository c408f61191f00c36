#include <gtest/gtest.h>

#include "../src/send_key.h"
#include "harness.h"

namespace {

struct Sent {
	int result;
	std::string err, out, trace;
};

Sent send(unsigned int vk, int release,
          const platform::Behaviour &behaviour = platform::Behaviour())
{
	Sent sent{};
	platform::reset(behaviour);
	capture(sent.out, sent.err, [&] { sent.result = send_key(vk, release); });
	sent.trace = trace(behaviour);
	return sent;
}

struct KeyCase {
	unsigned int vk;
	int release;
	const char *trace;
};

// trace() checks every byte of the record, the scan code and the flags; the table names
// the event each call must come out as.
TEST(SendKey, BuildsOneRecordPerEvent)
{
	const KeyCase cases[] = {
	    {0x41, 0, "down 41"},     {0x41, 1, "up 41"},         {0x25, 1, "up 25"},
	    {0xA5, 0, "down a5"},     {0xA4, 0, "down a4"},       {0xA1, 0, "down a1"},
	    {0xFFFF, 0, "down ffff"}, {0x10025, 7, "up 25"},      {0xFFFF0041, 0, "down 41"},
	    {0x2E, -1, "up 2e"},      {0x20, 0, "down 20"},       {0xA6, 1, "up a6"},
	};
	for (const KeyCase &c : cases) {
		platform::Behaviour behaviour;
		behaviour.scan_code_offset = 0x7FFF0003; // only the low 16 bits of the answer count
		const Sent sent = send(c.vk, c.release, behaviour);
		EXPECT_EQ(sent.result, 1) << std::hex << c.vk;
		EXPECT_EQ(sent.trace, c.trace) << std::hex << c.vk;
		EXPECT_EQ(sent.err + sent.out, "") << std::hex << c.vk;
	}
}

TEST(SendKey, SetsExtendedFlagForExactlyTheListedKeys)
{
	int extended = 0;
	for (unsigned int vk = 0; vk <= 0xFFFF; vk++) {
		platform::reset();
		ASSERT_EQ(send_key(vk, 0), 1);
		char expected[16];
		snprintf(expected, sizeof expected, "down %x", vk);
		ASSERT_EQ(trace(platform::Behaviour()), expected);
		const std::string &record = platform::calls().back().bytes;
		extended += record[12] & 1;
	}
	EXPECT_EQ(extended, 18);
}

TEST(SendKey, ZeroScanCodeStillSent)
{
	platform::Behaviour behaviour;
	behaviour.scan_code_offset = 0x10000u - 0x41u; // answers 0x10000 for 0x41
	const Sent sent = send(0x41, 0, behaviour);
	EXPECT_EQ(sent.result, 1);
	EXPECT_EQ(sent.trace, "down 41");
	EXPECT_EQ(platform::calls().back().bytes[10], 0);
}

struct RefusalCase {
	unsigned int vk;
	int release;
	UINT answer;
	DWORD error;
	const char *err;
};

TEST(SendKey, ReportsRefusal)
{
	const RefusalCase cases[] = {
	    {0x2E, 1, 0, 5, "SendInput failed for 2e: 5\n"},
	    {0x41, 0, 0, 0, "SendInput failed for 41: 0\n"},
	    {0x1FFFF, 0, 2, 0xFFFFFFFF, "SendInput failed for ffff: 4294967295\n"},
	    {0xA, 1, 0xFFFFFFFF, 1400, "SendInput failed for a: 1400\n"},
	};
	for (const RefusalCase &c : cases) {
		platform::Behaviour behaviour;
		behaviour.refuse_send = 0;
		behaviour.refused_answer = c.answer;
		behaviour.refusal_error = c.error;
		const Sent sent = send(c.vk, c.release, behaviour);
		EXPECT_EQ(sent.result, 0) << c.err;
		EXPECT_EQ(sent.err, c.err);
		EXPECT_EQ(sent.out, "");
		EXPECT_EQ(platform::calls().size(), 2u) << "one lookup, one record, no retry";
	}
}

} // namespace
