// The demo client's command line.
//   --level N            flag word for the logon (default 7: every row open)
//   --client NAME        client name given to Initialize (default "QUARN demo")
//   --client-utf8 HEX    the same, as the hexadecimal bytes of its UTF-8 form:
//                        Wine passes only ASCII intact from a Unix command
//                        line when the Unix locale is not installed
//   --setup-folder PATH  where the sample *.acr files go (default: "demo-setup"
//                        beside the program)
//   --drive              drive the dialogs itself: wait for each, take its
//                        picture, press OK (logon) or close it (About box)
//   --shots FOLDER       with --drive: write logon-dialog.bmp and about-box.bmp there
//   --report FILE        also write every line of the transcript to FILE (UTF-8)
#pragma once
#include <optional>
#include <string>

struct DemoOptions {
    long level = 7;
    std::wstring client = L"QUARN demo";
    std::wstring setupFolder;  // ends in a backslash
    bool drive = false;
    std::wstring shotsFolder;  // empty: no pictures; else ends in a backslash
    std::wstring reportFile;
};

// Parses the process's command line; on a bad argument gives nothing and
// sets *error to a message for the user.
std::optional<DemoOptions> ParseDemoOptions(std::wstring* error);
