// Resource IDs of the test host program, shared by its .rc and its tests.
#pragma once

#define HOST_STRING_ZERO      0
#define HOST_STRING_FIVE      5
#define HOST_STRING_TITLE     7
#define HOST_STRING_MINUS_ONE 65535
#define HOST_ICON_TITLE       7
#define HOST_ICON_HIGH        9    /* shown for an Icon argument of 65536 + 9 */
#define HOST_FILE_VERSION     "5.1.2.3 beta"
