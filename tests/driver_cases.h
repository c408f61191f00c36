// Argument lists with what the program must do with them: exit status, every byte on
// standard error, and the events and pauses it sends (in the form of trace() in harness.h).
// Shared by the host tests and the end-to-end tests, so both hold the program to one table.
#ifndef LARNIX_TESTS_DRIVER_CASES_H
#define LARNIX_TESTS_DRIVER_CASES_H

#include <ostream>
#include <vector>

struct DriverCase {
	const char *name;
	std::vector<const char *> args;
	int status;
	const char *err;
	const char *events;
};

inline void PrintTo(const DriverCase &c, std::ostream *os)
{
	*os << c.name;
}

inline const std::vector<DriverCase> &driver_cases()
{
	static const std::vector<DriverCase> cases = {
	    {"NoArgumentsGivesUsage", {}, 2, "usage: larnix.exe (down|up|tap):<hex vk> ...\n", ""},
	    {"ShiftA", {"down:10", "tap:41", "up:10"}, 0, "",
	     "down 10, sleep 8, down 41, up 41, sleep 8, up 10, sleep 8"},
	    {"DownThenUp", {"down:41", "up:41"}, 0, "", "down 41, sleep 8, up 41, sleep 8"},
	    {"HexPrefix", {"tap:0x0D"}, 0, "", "down d, up d, sleep 8"},
	    {"UpperHexPrefix", {"tap:0X0d"}, 0, "", "down d, up d, sleep 8"},
	    {"UpperAndLowerDigits", {"tap:aB"}, 0, "", "down ab, up ab, sleep 8"},
	    {"TrailingTextIgnored", {"down:41zz"}, 0, "", "down 41, sleep 8"},
	    {"LowSixteenBitsKept", {"down:10041"}, 0, "", "down 41, sleep 8"},
	    {"LeadingBlanksAndPlus", {"down: \t\n\v\f\r+0X41"}, 0, "", "down 41, sleep 8"},
	    {"LeadingZerosDoNotOverflow", {"down:0x000000000000000041"}, 0, "", "down 41, sleep 8"},
	    {"FurtherColonsBelongToKey", {"up:41:extra"}, 0, "", "up 41, sleep 8"},
	    {"MinusOne", {"down:-1"}, 0, "", "down ffff, sleep 8"},
	    {"MinusNegatesModulo32Bits", {"down:-0x41"}, 0, "", "down ffbf, sleep 8"},
	    {"MinusFullWidth", {"down:-FFFFFFFF"}, 0, "", "down 1, sleep 8"},
	    {"LargestKey", {"down:FFFFFFFF"}, 0, "", "down ffff, sleep 8"},
	    {"OverflowSaturates", {"down:123456789"}, 0, "", "down ffff, sleep 8"},
	    {"OverflowJustPast32Bits", {"down:100000000"}, 0, "", "down ffff, sleep 8"},
	    {"NegativeOverflowSaturates", {"down:-123456789"}, 0, "", "down ffff, sleep 8"},
	    {"NegativeJustPast32Bits", {"down:-100000000"}, 0, "", "down ffff, sleep 8"},
	    {"OverflowPast64Bits", {"down:1FFFFFFFFFFFFFFFF"}, 0, "", "down ffff, sleep 8"},
	    {"NegativeOverflowPast64Bits", {"down:-0x1FFFFFFFFFFFFFFFF"}, 0, "",
	     "down ffff, sleep 8"},
	    {"ExtendedKeys", {"tap:25", "down:A5", "up:A5", "tap:A1"}, 0, "",
	     "down 25, up 25, sleep 8, down a5, sleep 8, up a5, sleep 8, down a1, up a1, sleep 8"},
	    {"ZeroLowBitsRefused", {"down:10000"}, 2, "bad key down:10000\n", ""},
	    {"NegativeWithZeroLowBitsRefused", {"down:-10000"}, 2, "bad key down:-10000\n", ""},
	    {"EmptyKey", {"down:"}, 2, "bad key down:\n", ""},
	    {"NoDigits", {"down:zz"}, 2, "bad key down:zz\n", ""},
	    {"PrefixWithoutDigits", {"down:0x"}, 2, "bad key down:0x\n", ""},
	    {"PrefixThenJunk", {"down:0xg1"}, 2, "bad key down:0xg1\n", ""},
	    {"LetterXFirst", {"down:x41"}, 2, "bad key down:x41\n", ""},
	    {"TwoSigns", {"down:--41"}, 2, "bad key down:--41\n", ""},
	    {"MixedSigns", {"down:-+41"}, 2, "bad key down:-+41\n", ""},
	    {"BlankAfterSign", {"down:- 41"}, 2, "bad key down:- 41\n", ""},
	    {"Zero", {"tap:0"}, 2, "bad key tap:0\n", ""},
	    {"KeyJudgedBeforeOp", {"foo:0"}, 2, "bad key foo:0\n", ""},
	    {"OpIsCaseSensitive", {"Down:41"}, 2, "bad op Down:41\n", ""},
	    {"UnknownOp", {"press:41"}, 2, "bad op press:41\n", ""},
	    {"OpLongerThanDown", {"downs:41"}, 2, "bad op downs:41\n", ""},
	    {"ThreeLettersNotTap", {"dow:41"}, 2, "bad op dow:41\n", ""},
	    {"TwoLettersNotUp", {"UP:41"}, 2, "bad op UP:41\n", ""},
	    // Each op is its whole text, not a prefix, and every letter of it counts.
	    {"UpIsNotAPrefix", {"upper:41"}, 2, "bad op upper:41\n", ""},
	    {"TapIsNotAPrefix", {"taps:41"}, 2, "bad op taps:41\n", ""},
	    {"DownToItsLastLetter", {"dowx:41"}, 2, "bad op dowx:41\n", ""},
	    {"EmptyOp", {":41"}, 2, "bad op :41\n", ""},
	    {"NoColon", {"junk"}, 2, "bad op junk\n", ""},
	    {"EmptyArgument", {""}, 2, "bad op \n", ""},
	    {"FormatDirectivesPrintedAsText", {"%n%s%x:1"}, 2, "bad op %n%s%x:1\n", ""},
	    {"EarlierKeyStaysDown", {"down:10", "junk"}, 2, "bad op junk\n", "down 10, sleep 8"},
	    {"StopsAtFirstBadArgument", {"tap:41", "up:0", "tap:42"}, 2, "bad key up:0\n",
	     "down 41, up 41, sleep 8"},
	};
	return cases;
}

#endif
