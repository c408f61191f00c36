#include <gtest/gtest.h>

#include "driver_cases.h"
#include "harness.h"

namespace {

class Driver : public testing::TestWithParam<DriverCase> {};

TEST_P(Driver, RunsArgumentsInOrder)
{
	const DriverCase &c = GetParam();
	const Outcome outcome = run_larnix(std::vector<std::string>(c.args.begin(), c.args.end()));
	EXPECT_EQ(outcome.status, c.status);
	EXPECT_EQ(outcome.err, c.err);
	EXPECT_EQ(outcome.out, "");
	EXPECT_EQ(outcome.trace, c.events);
}

INSTANTIATE_TEST_SUITE_P(Cases, Driver, testing::ValuesIn(driver_cases()),
                         [](const testing::TestParamInfo<DriverCase> &param) {
	                         return param.param.name;
                         });

TEST(Driver, EmptyArgumentVectorGivesUsage)
{
	char *argv[] = {nullptr};
	std::string out, err;
	int status = -1;
	platform::reset();
	capture(out, err, [&] { status = larnix_main(0, argv); });
	EXPECT_EQ(status, 2);
	EXPECT_EQ(err, "usage: larnix.exe (down|up|tap):<hex vk> ...\n");
	EXPECT_EQ(err.size(), 45u);
	EXPECT_EQ(trace(platform::Behaviour()), "binary stderr");
}

struct Refusal {
	const char *name;
	std::vector<std::string> args;
	int refused_send;
	const char *err;
	const char *events;
};

void PrintTo(const Refusal &r, std::ostream *os)
{
	*os << r.name;
}

class DriverRefusal : public testing::TestWithParam<Refusal> {};

// A refused event ends the run with status 1 at once: no pause, no release, nothing later.
TEST_P(DriverRefusal, StopsWithStatusOne)
{
	platform::Behaviour behaviour;
	behaviour.refuse_send = GetParam().refused_send;
	behaviour.refusal_error = 5;
	const Outcome outcome = run_larnix(GetParam().args, behaviour);
	EXPECT_EQ(outcome.status, 1);
	EXPECT_EQ(outcome.err, GetParam().err);
	EXPECT_EQ(outcome.out, "");
	EXPECT_EQ(outcome.trace, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverRefusal,
    testing::Values(
        Refusal{"TapPressRefusedSendsNoRelease", {"tap:41", "tap:42"}, 0,
                "SendInput failed for 41: 5\n", "down 41"},
        Refusal{"TapReleaseRefused", {"tap:41", "tap:42"}, 1, "SendInput failed for 41: 5\n",
                "down 41, up 41"},
        Refusal{"LaterArgumentRefused", {"down:10", "up:2E", "tap:42"}, 1,
                "SendInput failed for 2e: 5\n", "down 10, sleep 8, up 2e"},
        Refusal{"RefusalBeforeBadArgument", {"down:10", "junk"}, 0,
                "SendInput failed for 10: 5\n", "down 10"}),
    [](const testing::TestParamInfo<Refusal> &param) { return param.param.name; });

} // namespace
