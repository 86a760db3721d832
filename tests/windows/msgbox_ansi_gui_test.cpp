// The message box cases with every system call in its ANSI form, as the
// installer runs under Wine.
#define MSGBOX_TEST_ANSI
#include "msgbox_gui_test.cpp"
