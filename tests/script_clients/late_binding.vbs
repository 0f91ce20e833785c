' Late-bound use of both classes from the script host of the library's
' bitness: creation by ProgID, the flag word, a silent logon against the
' stand-in server with the optional arguments omitted and given, the
' properties, server and control objects, and the About box. The exit code
' is the number of failed checks, and the last line says that every check ran.
Option Explicit
Dim failures : failures = 0

Sub Check(condition, what)
    If Not condition Then
        WScript.Echo "FAILED: " & what
        failures = failures + 1
    End If
End Sub

' Creates an object by its version-independent ProgID. Windows resolves such
' a ProgID through its CurVer key; Wine's CreateObject only reads a CLSID key
' below it, so where that fails the CurVer key is followed here by hand.
Function CreateByIndependentProgId(progId)
    Dim shell, current
    On Error Resume Next
    Set CreateByIndependentProgId = CreateObject(progId)
    If Err.Number = 0 Then Exit Function
    Err.Clear
    On Error GoTo 0
    Set shell = CreateObject("WScript.Shell")
    current = shell.RegRead("HKCR\" & progId & "\CurVer\")
    Set CreateByIndependentProgId = CreateObject(current)
End Function

Dim logon, ok, server, control
Set logon = CreateByIndependentProgId("Quarn5.Logon")
' Bit 8: nothing is remembered; no row open: the logon is silent.
logon.Level = 8
Check logon.Level = 8, "Level reads back what was set"

ok = logon.Initialize("vbs client")
Check ok = 1, "Initialize with the optional arguments omitted"
Check logon.Client = "vbs client", "Client"
Check Len(logon.User) > 0, "User keeps the remembered or default name"
Check Len(logon.Server) > 0, "Server keeps the remembered or default name"

Set server = logon.GetQuarnSvrDirections()
Check Not (server Is Nothing), "GetQuarnSvrDirections"
Set control = logon.GetQuarnCtlDirections()
Check Not (control Is Nothing), "GetQuarnCtlDirections"
Set control = logon.GetQuarnCtlDocument()
Check Not (control Is Nothing), "GetQuarnCtlDocument"
Set control = logon.GetQuarnCtlDictDocument()
Check Not (control Is Nothing), "GetQuarnCtlDictDocument"
Set control = Nothing
Set server = Nothing

' A second logon with every argument given; an empty server is this computer.
Dim second
Set second = CreateObject("Quarn5.Logon.1")
second.Level = 8
ok = second.Initialize("vbs client 2", "", "script user", "secret")
Check ok = 1, "Initialize with arguments"
Check second.Client = "vbs client 2", "Client of the second logon"
Check second.User = "script user", "User given as an argument"
Check second.Server = "", "Server given as an empty string"
Check second.Password = "secret", "Password given as an argument"

' Numbers become text.
Dim third
Set third = CreateByIndependentProgId("Quarn5.Logon")
third.Level = 8
ok = third.Initialize("vbs client 3", , 42)
Check ok = 1, "Initialize with a number for User"
Check third.User = "42", "a number given for User becomes its text"

Dim about
Set about = CreateByIndependentProgId("Quarn5.About")
about.DlgAbout
about.DlgAbout 1, 2

'  A runtime error ends a script before this line; the runner requires it.
WScript.Echo "checks done, failures: " & failures
WScript.Quit failures
