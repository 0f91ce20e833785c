// Late-bound use of both classes from the script host of the library's
// bitness in JScript: the same checks as the VBScript test, with JScript's
// way of passing arguments.
// The exit code is the number of failed checks.
var failures = 0;
function check(condition, what) {
    if (!condition) {
        WScript.Echo("FAILED: " + what);
        failures++;
    }
}

// Creates an object by its version-independent ProgID. Windows resolves such
// a ProgID through its CurVer key; Wine only reads a CLSID key below it, so
// where that fails the CurVer key is followed here by hand.
function createByIndependentProgId(progId) {
    try {
        return new ActiveXObject(progId);
    } catch (e) {
        var shell = new ActiveXObject("WScript.Shell");
        return new ActiveXObject(shell.RegRead("HKCR\\" + progId + "\\CurVer\\"));
    }
}

var logon = createByIndependentProgId("Quarn5.Logon");
logon.Level = 8;
check(logon.Level == 8, "Level reads back what was set");
check(logon.Initialize("js client") == 1, "Initialize with the optional arguments omitted");
check(logon.Client == "js client", "Client");
check(logon.User.length > 0, "User");
check(logon.Server.length > 0, "Server");
check(logon.GetQuarnSvrDirections() != null, "GetQuarnSvrDirections");
check(logon.GetQuarnCtlDirections() != null, "GetQuarnCtlDirections");
check(logon.GetQuarnCtlDocument() != null, "GetQuarnCtlDocument");
check(logon.GetQuarnCtlDictDocument() != null, "GetQuarnCtlDictDocument");

var second = new ActiveXObject("Quarn5.Logon.1");
second.Level = 8;
check(second.Initialize("js client 2", "", "js user", "pw") == 1, "Initialize with arguments");
check(second.User == "js user", "User given as an argument");
check(second.Password == "pw", "Password given as an argument");
check(second.Server == "", "Server given as an empty string");

// A second Initialize on a logged-on object fails.
var refused = false;
try { logon.Initialize("again"); } catch (e) { refused = true; }
check(refused, "a second Initialize is refused");

var about = createByIndependentProgId("Quarn5.About");
about.DlgAbout();
about.DlgAbout(1, 2);

// A runtime error ends a script before this line; the runner requires it.
WScript.Echo("checks done, failures: " + failures);
WScript.Quit(failures);
