// `harbek --replace RULES DIR`: the find-and-replace window's work from the
// terminal, for scripts.
//
// RULES is a UTF-8 text file of rules, two lines each: the text to find, then
// its replacement. Lines end with LF; an empty line is an empty text (an
// empty find text does nothing, an empty replacement deletes). DIR is searched
// as the folder picker searches it and every file found goes through
// Treplace, from the end of the list, as the window's run does.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "tools/treplace.h"

namespace harbek::tools {

// The rules of a rules file; false with a message in error when the file is
// not valid UTF-8, holds a CR, holds no rule, or ends with a find text that
// has no replacement line.
bool parseRules(std::string_view utf8, std::vector<Rule>& rules, std::string& error);

// Prints "changed PATH" and "skipped PATH: REASON" on out, "failed PATH:
// REASON" on err, then a summary on out. Returns 0 when every file was
// handled, 1 when a file failed (the run stops there) or a folder could not
// be listed, 2 when the rules file or DIR cannot be used.
int runReplaceCommand(const std::string& rulesFile, const std::string& dir, std::ostream& out, std::ostream& err);

}  // namespace harbek::tools
