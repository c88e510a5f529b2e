// Handing a URL to the user's browser.
#pragma once

#include <string_view>

namespace harbek::shell {

// Starts the desktop's URL opener ("xdg-open", or the program named by the
// environment variable HARBEK_URL_OPENER when it is set and not empty) with
// url as its only argument. The program is started directly, never through a
// shell, so no character of the URL is interpreted; its standard streams are
// /dev/null. The call does not wait for the program: a detached thread reaps
// it, so no zombie is left behind. Nothing is reported: an opener that cannot
// be started is simply not started. The argument ends at the first NUL byte,
// as every argument of a program does.
void openInBrowser(std::string_view url);

}  // namespace harbek::shell
