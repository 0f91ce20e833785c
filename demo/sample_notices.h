// The sample notice files of the demo: *.acr profile files of three made-up
// installed components, written with the product's own ProfileFile, as the
// product's installation would leave them in its setup folder.
#pragma once
#include <string>
#include <vector>

struct SampleModule {
    const char* fileName;
    const char* module;                  // UTF-8; stored in the ANSI code page
    std::vector<const char*> notices;    // UTF-8
};

const std::vector<SampleModule>& SampleModules();

// Creates the folder if needed, removes every *.acr file in it and writes the
// sample files. Gives the number of files written; on a failure, *error says
// what went wrong.
int WriteSampleNotices(const std::wstring& folder, std::wstring* error);
