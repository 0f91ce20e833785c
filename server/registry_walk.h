// The registry side of the registration script interpreter: one walk that
// registers a parsed script (server/script_tree.h) and one that unregisters
// it. Names and data in the tree are UTF-8; they reach the registry through
// the wide functions.
//
// Register: every key is opened or created and its values written; a
// ForceRemove or Delete item first removes its tree. A key that cannot be
// created ends the root block with DISP_E_EXCEPTION, a value that cannot be
// written with the write's Win32 error as HRESULT; either way that root block
// is unregistered again before the failure is returned, and earlier root
// blocks stay registered. A tree that cannot be removed is passed over.
//
// Unregister: removes what the script describes from the leaves up: a key
// goes when nothing but its default value is left, or when its block leaves
// no subkeys (named values the script does not mention go with it); a
// NoRemove key always stays, and so does everything below a key that is not
// there. Directly below the classes root, a key whose class (its "CLSID",
// or that of the ProgID its "CurVer" names) is registered in the other
// registry view stays whole: it is a ProgID the other bitness still uses. A
// key closed in vain ends the run with DISP_E_EXCEPTION.
//
// Neither walk follows a registry link where it removes a key: the link goes
// itself, and what it points to is never touched.
#pragma once
#include <windows.h>
#include "server/registry_views.h"
#include "server/script_tree.h"

// Blocks nest at most as deep as the registry itself does.
constexpr size_t kMaxBlockDepth = 512;

// `classes` is the classes root that the root blocks "HKCR" of the script
// stand for: the machine's or the current user's Software\Classes key, which
// the caller has opened. HKEY_CLASSES_ROOT itself is a merged view on Windows,
// whose writes can land in either; the caller chooses instead.
[[nodiscard]] HRESULT RegisterScriptTree(const ScriptTree& tree, const ClassesViews& classes);
[[nodiscard]] HRESULT UnregisterScriptTree(const ScriptTree& tree, const ClassesViews& classes);

// Removes the key `name` under `parent` with its whole tree, every key of it
// opened and deleted in the parent's view; a Win32 error code. A registry
// link met on the way is removed itself: the walk never descends through one,
// so nothing it points to is touched. The library's one way of deleting a tree.
[[nodiscard]] LONG DeleteKeyTree(const ViewKey& parent, const wchar_t* name);
