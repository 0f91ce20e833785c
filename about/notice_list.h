// The notices of the additional components installed with the product, as
// the About box lists them: one block per *.acr profile file of the setup
// folder, in the order the directory search returns the files.
//
// A block is "[" + the "Module" value of section "Info" + "]", then one line
// for each number n from 1 to the stored key count of section "Copyrights"
// holding the value of key n (empty when that key is missing), then an empty
// line. Every line ends in CR LF. Nothing is filtered, sorted or merged. The
// profile strings are text in the system's ANSI code page by format (see
// ProfileTextCodePage); the list holds them as UTF-16.
#pragma once
#include <windows.h>
#include <string>

class ProfileFile;
class ProfileTextCodePage;

// The stored key count of "Copyrights" is taken as an unsigned number. A
// damaged file can claim up to 4294967295 keys; no real list comes near this
// many lines, so a block stops after it and the box neither hangs nor runs
// out of memory.
constexpr DWORD kMaxNoticeLinesPerFile = 10000;

// Appends the block of one profile file (empty when the file did not load).
void AppendNoticeBlock(std::wstring& list, const ProfileFile& file, const ProfileTextCodePage& text);

// The blocks of every *.acr file in folder (as FindProfileFiles finds them),
// which is empty (the current directory) or ends in a separator. Empty when
// there is no such file.
std::wstring BuildNoticeList(const std::wstring& folder);
