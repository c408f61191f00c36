// Inputs no caller should give, and what the program does with them: the argument rules
// hold at any length, any count and any bytes, and the diagnostics print an argument as
// plain bytes, never as a format.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

struct BadInput {
	std::string name;
	std::vector<std::string> args;
	int status;
	std::string err, events;
};

void PrintTo(const BadInput &c, std::ostream *os)
{
	*os << c.name;
}

std::string repeated(const std::string &item, size_t times, const char *separator = ", ")
{
	std::string text;
	for (size_t i = 0; i < times; i++)
		text += (i == 0 ? "" : separator) + item;
	return text;
}

const size_t huge = 1 << 20; // far past the 32,767 characters of a Windows command line
const size_t many = 10000;

std::vector<BadInput> bad_inputs()
{
	const std::string long_op(huge, 'd');
	const std::string no_colon(huge, '%');
	const std::string no_digits(huge, 'z');
	std::vector<std::string> many_taps(many, "tap:41");
	std::vector<std::string> many_then_junk = many_taps;
	many_then_junk.push_back("junk");
	const std::string tap_events = repeated("down 41, up 41, sleep 8", many);
	return {
	    {"EmptyAfterGoodOne", {"tap:41", ""}, 2, "bad op \n", "down 41, up 41, sleep 8"},
	    {"OnlyEmptyArguments", {"", ""}, 2, "bad op \n", ""},
	    {"HugeRunOfLeadingZeros", {"down:" + std::string(huge, '0') + "41"}, 0, "",
	     "down 41, sleep 8"},
	    {"HugeRunOfBlanks", {"down:" + std::string(huge, ' ') + "41"}, 0, "",
	     "down 41, sleep 8"},
	    {"HugeNumberSaturates", {"down:" + std::string(huge, 'F')}, 0, "",
	     "down ffff, sleep 8"},
	    {"HugeTrailingJunk", {"down:41" + std::string(huge, 'z')}, 0, "", "down 41, sleep 8"},
	    {"HugeOpPrintedWhole", {long_op + ":41"}, 2, "bad op " + long_op + ":41\n", ""},
	    {"HugeArgumentWithoutColon", {no_colon}, 2, "bad op " + no_colon + "\n", ""},
	    {"HugeBadKeyPrintedWhole", {"up:" + no_digits}, 2, "bad key up:" + no_digits + "\n",
	     ""},
	    {"TenThousandTaps", many_taps, 0, "", tap_events},
	    {"BadArgumentAfterTenThousand", many_then_junk, 2, "bad op junk\n", tap_events},
	    {"NonTextOp", {"\xff\xfe\x01:41"}, 2, "bad op \xff\xfe\x01:41\n", ""},
	    {"EscapeSequenceOp", {"\x1b[2J\x7f:41"}, 2, "bad op \x1b[2J\x7f:41\n", ""},
	    {"OverlongEncodingInOp", {"ta\xc1\xb0:41"}, 2, "bad op ta\xc1\xb0:41\n", ""},
	    {"NonTextKey", {"down:\x80\x81"}, 2, "bad key down:\x80\x81\n", ""},
	    {"NoBreakSpaceIsNoBlank", {"down:\xa0" "41"}, 2, "bad key down:\xa0" "41\n", ""},
	    {"NonTextAfterDigits", {"down:41\xff\xfe"}, 0, "", "down 41, sleep 8"},
	    {"PercentNInOp", {"%n:41"}, 2, "bad op %n:41\n", ""},
	    {"PercentNAsKey", {"down:%n"}, 2, "bad key down:%n\n", ""},
	    {"DirectivesAfterDigits", {"tap:41%n%s%p"}, 0, "", "down 41, up 41, sleep 8"},
	    {"WideFieldDirective", {"%999999999s%n:1"}, 2, "bad op %999999999s%n:1\n", ""},
	};
}

class BadInputs : public testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, FollowTheArgumentRules)
{
	const BadInput &c = GetParam();
	const Outcome outcome = run_larnix(c.args);
	EXPECT_EQ(outcome.status, c.status);
	EXPECT_TRUE(outcome.err == c.err) << outcome.err.size() << " bytes on standard error, "
	                                  << c.err.size() << " expected";
	EXPECT_EQ(outcome.out, "");
	EXPECT_TRUE(outcome.trace == c.events) << outcome.trace.substr(0, 200);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputs, testing::ValuesIn(bad_inputs()),
                         [](const testing::TestParamInfo<BadInput> &param) {
	                         return param.param.name;
                         });

// With no standard error to write to, the run goes exactly as with one: same events,
// same status, and nothing turns up on standard output instead.
TEST(MissingStandardError, ChangesNeitherStatusNorEvents)
{
	struct Case {
		std::vector<std::string> args;
		int refused_send;
		int status;
	};
	const Case cases[] = {
	    {{}, -1, 2},
	    {{"down:10", "tap:41", "up:10"}, -1, 0},
	    {{"tap:41", "junk", "tap:42"}, -1, 2},
	    {{"tap:41", "down:0"}, -1, 2},
	    {{"tap:41", "tap:2e", "tap:42"}, 3, 1},
	};
	for (const Case &c : cases) {
		platform::Behaviour behaviour;
		behaviour.refuse_send = c.refused_send;
		const Outcome open = run_larnix(c.args, behaviour);
		const Outcome closed = run_larnix(c.args, behaviour, StandardError::closed);
		EXPECT_EQ(closed.status, c.status) << open.trace;
		EXPECT_EQ(closed.status, open.status);
		EXPECT_EQ(closed.trace, open.trace);
		EXPECT_EQ(closed.err + closed.out, "");
		EXPECT_EQ(open.err.empty(), c.status == 0) << open.err;
	}
	// Standard error works again for whoever writes next.
	EXPECT_EQ(run_larnix({"junk"}).err, "bad op junk\n");
}

} // namespace
