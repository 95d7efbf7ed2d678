// Runs the built catpack binary on a pseudo-terminal, as a user at a
// terminal would, and works out what the terminal then shows.
#pragma once

#include <string>
#include <vector>

namespace catpack::testing {

// Which of the run's output streams go to the terminal.
enum class OnTerminal { bothStreams, standardErrorOnly, standardOutputOnly };

struct TerminalRunResult {
  std::string terminal;  // every byte the run wrote to the terminal, unchanged
  std::string other;     // what the stream that is not on the terminal received
  int exitCode = -1;
};

// Runs catpack with `arguments` in `workingFolder`, the streams `streams`
// on a fresh pseudo-terminal that passes bytes through as written (a line
// feed is not turned into carriage return + line feed), the other one into
// a file. When `interruption` is set, the run is sent that signal as soon
// as the terminal receives its first carriage return (a status line).
TerminalRunResult runOnTerminal(const std::vector<std::string>& arguments,
                                const std::string& workingFolder,
                                OnTerminal streams = OnTerminal::bothStreams,
                                int interruption = 0);

// The text a terminal shows after receiving `bytes`: a carriage return moves
// to the start of the line, a line feed to the start of the next, any other
// byte overwrites the cell it lands on. Lines are joined by line feeds, blanks
// at their ends dropped, as a screen cannot show them.
std::string screenText(const std::string& bytes);

}  // namespace catpack::testing
