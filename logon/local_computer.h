// Which server names mean this computer. The logon object activates the
// translation server on this computer as an ordinary local server, without
// server information; every other name is reached as a remote computer.
#pragma once
#include <string_view>

// True for the empty name; this computer's NetBIOS name, its DNS host name and
// its fully qualified DNS name; "localhost" and "."; and a loopback address
// (127.0.0.0/8, ::1, ::ffff:127.x.x.x, with or without brackets). Each may
// carry a leading "\\", and letter case is ignored in every script.
bool IsLocalComputer(std::wstring_view name);
