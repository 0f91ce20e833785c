// Self-registration from registry scripts: the interpreter of the small
// script language that the library's REGISTRY resources are written in.
//
// A script is a sequence of root blocks, "HKCR { items }", where an item is
// either a value ("Val name = s 'text'") or a key with an optional default
// value and an optional block of its own, optionally prefixed by
// "ForceRemove", "Delete" or "NoRemove". A run expands the placeholders
// "%name%" from a ReplacementTable (server/script_text.h), reads the whole
// text into a tree (server/script_tree.h), and only then walks the tree in
// the registry (server/registry_walk.h): the register walk creates what the
// script describes; the unregister walk removes it again from the leaves up,
// keeping every key that still holds other contents.
//
// Results: S_OK; DISP_E_EXCEPTION for every fault of the script text and for
// a key that cannot be created; the Win32 error as HRESULT for a value that
// cannot be written; E_FAIL for a placeholder name of 32 bytes or
// more and for "B" data of odd length; E_OUTOFMEMORY; a Win32 error as
// HRESULT when the resource cannot be loaded. A fault of the text ends the
// run before anything is written. When a root block fails in the register
// walk, that block is unregistered again before the failure is returned;
// earlier blocks stay registered.
#pragma once
#include <windows.h>
#include <string>
#include "server/registry_views.h"
#include "server/script_text.h"

// Runs the REGISTRY resource `resourceId` of the module file `module` (loaded again as a data file)
// in register or unregister mode, with the one placeholder "Module" = the module's path, ' doubled,
// and the root blocks "HKCR" below the classes key `classes` (server/registry_walk.h).
// This and ResourceLoadFailure live in server/registration_resource.cpp.
[[nodiscard]] HRESULT UpdateRegistryFromResource(HMODULE module, UINT resourceId, bool doRegister,
                                                 const ClassesViews& classes);
// Runs UTF-8 script text (no NUL needed) with the given placeholders; used by the above and by tests.
// NOTE: the text ends at its first NUL byte, if it holds one.
[[nodiscard]] HRESULT RunRegistrationScript(const std::string& script, const ReplacementTable& replacements,
                                            bool doRegister, const ClassesViews& classes);

// The platform hook of the script text layer for a run: letter case is
// ignored as lstrcmpi does, beyond ASCII too.
const TextPlatform& Win32TextPlatform();

// The result of a failed module, resource or load call, from the thread's
// last error: the Win32 error as HRESULT, E_FAIL when no error was recorded.
[[nodiscard]] HRESULT ResourceLoadFailure(DWORD lastError);
