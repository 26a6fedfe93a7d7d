// The user guide "Sonographica User Guide.pdf": where it is, and Help > Open Manual.
#pragma once
#include <string>

struct Shell;

// The guide's file name, the same beside the program and where it is installed.
extern const char* const user_guide_name;

// Where the guide is: the file SONOGRAPHICA_GUIDE names, else the guide beside the program (a
// build tree), else the one in "share/sonographica" of the prefix the program is installed
// in. "" when none of these exists.
std::string user_guide_path();
// The places user_guide_path looks in, joined by the separator, for the messages that name them.
std::string user_guide_places(const char* separator);
// Once at start-up: a missing guide is logged, so that an incomplete installation shows in
// the log before anyone asks for the manual.
void user_guide_check();
// Help > Open Manual and the bar's Help button: the guide goes to the shell's document opener
// (xdg-open unless a test replaced it); a missing guide or a failed opener is a message box.
void open_user_guide(Shell& sh);
