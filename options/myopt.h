// The command-line reader shared by the programs: hands out option letters,
// option arguments and operands one word at a time.
#pragma once

#include <string_view>

namespace zaptor {

// The operand, or the argument of an option that takes one, delivered by the
// last my_getopt call; null otherwise.
extern const char* p_optstr;

// Returns 0 when the words are exhausted, the letter of a recognised option,
// or -1 for an operand (anything that is not a recognised option). A word is
// an option when it is "-" followed by an ASCII letter or digit that occurs
// in `optstring`; only that second character counts. A letter followed by
// ':' in `optstring` takes the next word as its argument, whatever it looks
// like. There is no end-of-options marker.
//
// The word index is private and only moves forward, so a process walks one
// argument vector once.
int my_getopt(int argc, char** argv, std::string_view optstring);

// Restarts the word index at the first word after the program name. For
// tests, which walk many argument vectors in one process.
void my_getopt_reset();

}  // namespace zaptor
