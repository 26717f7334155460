// The entry point of the program that holds every UI suite at once (the Windows build's).
#undef ASTRELVO_UI_TESTS_COMBINED
#include "tests/ui/UiTestMain.h"
