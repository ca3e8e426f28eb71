// The string pairs of the tooltip window tests (Korean at id N, English at N + 1), shared by the
// resource script and the tests.
#pragma once

// What a string tag draws.
#define TIP_STRING_GREETING 30100
// A tool-bar button's command: a prompt, then its tip line.
#define TIP_STRING_BUTTON 30110
// A button whose string has no tip line.
#define TIP_STRING_PROMPT_ONLY 30120
