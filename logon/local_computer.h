// Which server names mean this computer. The logon object activates the
// translation server on this computer as an ordinary local server, without
// server information; every other name is reached as a remote computer.
#pragma once
#include <string_view>

// True for the empty name; this computer's NetBIOS name, its DNS host name and
// its fully qualified DNS name, each also as an absolute name ending in ".";
// "localhost" and "."; a loopback address (127.0.0.0/8, ::1,
// ::ffff:127.x.x.x) and any of the computer's own unicast addresses, with or
// without brackets. Each may carry a leading "\\", and letter case is ignored
// in every script. The computer's addresses are asked for only when the name
// is an address.
// NOTE: throws std::bad_alloc when memory runs out.
bool IsLocalComputer(std::wstring_view name);
