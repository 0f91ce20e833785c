// Resource IDs of the demo client; the About box takes the title string and
// the icon by these IDs from the calling executable.
#pragma once

#define IDS_DEMO_TITLE     1
#define IDI_DEMO_CLIENT    1
#define DEMO_FILE_VERSION  "5.0.1.0"
