// Runs the program's main in this process against the stand-in platform, with standard
// output and standard error caught, and renders what it sent as a short readable trace.
#ifndef LARNIX_TESTS_HARNESS_H
#define LARNIX_TESTS_HARNESS_H

#include <string>
#include <vector>

#include "win32/platform.h"

int larnix_main(int argc, char **argv);

struct Outcome {
	int status;
	std::string err;
	std::string out;
	std::string trace;
};

// Whether main finds standard error open (and caught into Outcome::err) or closed, as
// for a caller that gave the process none: the runtime then answers -2 for its descriptor.
enum class StandardError { caught, closed };

// Runs main with the program name and then args; a refusal or a scan-code answer is set
// in behaviour.
Outcome run_larnix(const std::vector<std::string> &args,
                   const platform::Behaviour &behaviour = platform::Behaviour(),
                   StandardError standard_error = StandardError::caught);

// The calls since the last reset, one word group per call, comma separated: "down 41"
// and "up 41" for a press and a release whose record is right in every byte (an
// unchecked "record ..." text otherwise, saying what is wrong), "sleep 8" for a pause.
std::string trace(const platform::Behaviour &behaviour);

// Whether the key code is one of the 18 keys that carry the extended flag.
bool listed_as_extended(unsigned int code);

void begin_capture();
void end_capture(std::string &out, std::string &err);

// Calls f with standard output and standard error caught into out and err.
template <typename F> void capture(std::string &out, std::string &err, F f)
{
	begin_capture();
	f();
	end_capture(out, err);
}

#endif
