// Fills the one "%s" of a text taken from a resource, the way a printf-style
// format with a single string argument would, without handing the text to a
// real formatter: the text comes from a template, and any other directive it
// might hold must not read arguments that are not there.
#pragma once
#include <string>

// "%%" becomes "%"; the first "%s" becomes argument; every other "%" and the
// character after it, including a second "%s", stay as they are.
std::wstring FormatSingleString(const std::wstring& format, const std::wstring& argument);
