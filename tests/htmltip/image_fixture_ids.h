// Resource ids of the image fixtures the Windows image tests draw from.
#pragma once

#define IDB_FIXTURE_MASKED 101  // 8 x 8 magenta, a blue square at 2..5
#define IDI_FIXTURE_SQUARE 102  // 16 x 16, an opaque green square at 4..11
#define IDB_FIXTURE_STRIP 103   // 32 x 8: frames red, green, blue, white
#define IDC_FIXTURE_HAND 106    // the cursor number the help program's hand has
