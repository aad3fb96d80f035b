// What the Win32 host test reads and does through the system itself, kept
// out of the test's unit (platform/win32/host.h says why).
#pragma once

// The position progress bar 157 of dialog 100 shows.
int ShownBarPos();
// Until stop is set, closes each message box captioned "Question" without a
// choice, as its close box does (a Yes/No box, which has none, with No).
void CloseQuestionBoxes(const volatile bool* stop);
