// Sample: quarnver.dll from JScript.
//
// Logs on to the translation server through Quarn5Logon without a dialog,
// prints what the logon object holds, gets a server object and a document
// control, and shows the About box of Quarn5About.
//
// Run with the script host of the library's bitness; for the 32-bit library
// on 64-bit Windows:
//   C:\Windows\SysWOW64\cscript.exe //nologo logon_and_about.js
// quarnver.dll must be registered (regsvr32 quarnver.dll).
//
// The ProgIDs carry their version ("Quarn5.Logon.1"): Windows also resolves
// "Quarn5.Logon", but Wine's ActiveXObject does not follow its CurVer key.

var logon = new ActiveXObject("Quarn5.Logon.1");

// Level 8: no row of the logon dialog is open, so the logon is silent, and
// nothing is remembered. Level 7 would show every row.
logon.Level = 8;

// Client name, then optional server, user and password; omitted here, so the
// values remembered for this Windows user (or the defaults) are used.
if (logon.Initialize("JScript sample") != 1) {
    WScript.Echo("the user cancelled the logon");
    WScript.Quit(1);
}
WScript.Echo("Client: " + logon.Client);
WScript.Echo("User: " + logon.User);
WScript.Echo("Server: " + logon.Server);

// Each call gives a new server object, already connected with the client and
// user names; a control comes connected to a server object of its own.
var server = logon.GetQuarnSvrDirections();
var document = logon.GetQuarnCtlDocument();
WScript.Echo("connected a server object and a document control");
server = null;
document = null;

// Title and Icon are resource IDs in the calling program's .exe; a script host
// has none of its own, so they are left out.
var about = new ActiveXObject("Quarn5.About.1");
about.DlgAbout();

WScript.Echo("sample done");
