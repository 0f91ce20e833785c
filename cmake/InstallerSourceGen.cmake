# Writes msi/quarnver.wxs, the WiX 3 fragment that installs quarnver.dll with
# its COM registration as plain Registry rows: the standalone packages
# (cmake/Installer.cmake) are built from it, and the product's own installers
# include it, so every package that holds the library holds the same
# components with the same GUIDs, and Windows Installer counts one copy.
# Run with cmake -P:
#   -DROWS=<file>    what the registry scripts write below HKEY_CLASSES_ROOT,
#                    as cmake/script_classes.cpp --rows reads them with the
#                    library's own script parser ("%MODULE%" for the DLL)
#   -DLIBRARY_ROWS=<file>  what registering the type library writes, in the
#                    same lines, as cmake/type_library_facts.cpp --rows reads
#                    it from the type library that widl built
#   -DARCH=<x86|x64> -DFILE_VERSION=<a.b.c.d> -DFILE_LANGUAGE=<decimal> -DOUTPUT=<file>
cmake_minimum_required(VERSION 3.20)

function(quarn_fail message)
    message(FATAL_ERROR "InstallerSourceGen: ${message}")
endfunction()

# Component GUIDs never change: a later version's package holds the same
# components. The shared one is the same in both bitnesses' packages and
# holds the same rows in both: one component code names one set of
# resources. Its bitness follows the package's (a 32-bit package holds no
# 64-bit component; Wine's msiexec writes a 32-bit component's ProgIDs into
# the 32-bit view only, where Windows shares them).
set(shared_guid "E7B961EE-BE92-4D88-AC75-096DD4C1DEB7")
if(ARCH STREQUAL "x86")
    set(library_guid "B2C3BC91-EFFF-4B5B-8424-1E091395B768")
    set(vendor_guid "338EBB16-D3BF-4698-BBB4-785A699EA120")
    set(common_files CommonFilesFolder)
    set(platform win32)
    set(win64 "")
elseif(ARCH STREQUAL "x64")
    set(library_guid "4B718EE0-AFB9-4CD9-B57B-368B831938DD")
    set(vendor_guid "2C7327DD-5C14-47AB-9CD6-4A66609172E5")
    set(common_files CommonFiles64Folder)
    set(platform win64)
    set(win64 " Win64=\"yes\"")
else()
    quarn_fail("ARCH is x86 or x64, not \"${ARCH}\"")
endif()

# Rows as "key<tab>name<tab>type<tab>data" lines. The type library's rows
# carry no HELPDIR: the library ships no help file, and a folder there would
# name the folder of one package in a key that both share.
file(STRINGS "${ROWS}" rows)
file(STRINGS "${LIBRARY_ROWS}" library_rows)
if(NOT rows OR NOT library_rows)
    quarn_fail("${ROWS} or ${LIBRARY_ROWS} lists no registry entry")
endif()
list(APPEND rows ${library_rows})

# Class and Interface keys are per registry view and go with the DLL of
# their bitness; everything else (ProgIDs, the type library's version key)
# is one key for both views and lives in the shared component, which
# Windows Installer removes with the last package that holds it. Only the
# platform key of the type library names the DLL.
set(library_rows "")
set(shared_rows "")
foreach(row IN LISTS rows)
    if(NOT row MATCHES "^([^\t]+)\t([^\t]*)\t([^\t]*)\t(.*)$")
        quarn_fail("no registry entry in \"${row}\"")
    endif()
    set(key "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    set(type "${CMAKE_MATCH_3}")
    set(value "${CMAKE_MATCH_4}")
    # Formatted text: brackets are escaped, then the placeholders become references.
    string(REPLACE "[" "[\\[]" value "${value}")
    string(REGEX REPLACE "([^[])\\]" "\\1[\\\\]]" value "${value}")
    string(REGEX REPLACE "^\\]" "[\\\\]]" value "${value}")
    if(value MATCHES "^#" OR (value STREQUAL "" AND NOT name STREQUAL "*"))
        quarn_fail("${key}: a value that is empty or starts with # has no plain Registry row")
    endif()
    set(per_view OFF)
    if(key MATCHES "^(CLSID|Interface)\\\\" OR key MATCHES "^TypeLib\\\\[^\\\\]+\\\\[^\\\\]+\\\\[^\\\\]+\\\\")
        set(per_view ON)
    endif()
    if(key MATCHES "^TypeLib\\\\[^\\\\]+\\\\[^\\\\]+\\\\[^\\\\]+\\\\([^\\\\]+)$" AND NOT CMAKE_MATCH_1 STREQUAL platform)
        quarn_fail("${key}: the type library is built for ${CMAKE_MATCH_1}, the package for ${platform}")
    endif()
    if(NOT per_view AND value MATCHES "%MODULE%")
        quarn_fail("${key}: a shared key cannot name the DLL of one bitness")
    endif()
    string(REPLACE "%MODULE%" "[#QuarnverDll]" value "${value}")
    foreach(var key name value)
        string(REPLACE "&" "&amp;" ${var} "${${var}}")
        string(REPLACE "<" "&lt;" ${var} "${${var}}")
        string(REPLACE "\"" "&quot;" ${var} "${${var}}")
    endforeach()
    # A key that holds nothing: WiX writes it as the Registry row named "*"
    # (created on install, removed with the component). wixl skips it;
    # cmake/BuildMsi.cmake adds that row after wixl.
    if(name STREQUAL "*")
        set(element "RegistryKey Root=\"HKCR\" Key=\"${key}\" Action=\"createAndRemoveOnUninstall\"")
    else()
        set(element "RegistryValue Root=\"HKCR\" Key=\"${key}\"")
        if(NOT name STREQUAL "")
            string(APPEND element " Name=\"${name}\"")
        endif()
        string(APPEND element " Type=\"${type}\" Value=\"${value}\"")
    endif()
    if(per_view)
        string(APPEND library_rows "              <${element}/>\n")
    elseif(name STREQUAL "*")
        quarn_fail("${key}: an empty shared key has no Registry row")
    elseif(shared_rows STREQUAL "")
        string(APPEND shared_rows "        <${element} KeyPath=\"yes\"/>\n")
    else()
        string(APPEND shared_rows "        <${element}/>\n")
    endif()
endforeach()

file(WRITE "${OUTPUT}.tmp"
"<?xml version=\"1.0\" encoding=\"utf-8\"?>
<!-- quarnver.dll (${ARCH}) for Windows Installer packages: the DLL in
     [${common_files}]Velmora\\QUARN 5\\ and its COM registration, per machine.
     Include it in a product's WiX 3 source (wixl or WiX):
       <Feature ...><ComponentGroupRef Id=\"QuarnverComponents\"/></Feature>
     built with -dQuarnverDir=<folder of quarnver.dll> (candle) or
     -D QuarnverDir=<folder> (wixl, which takes relative folders only).
     After wixl, apply to the package what WiX does by itself and wixl
     does not, as the standalone package's build does (msibuild -q):
       - the File row's Version and Language: the DLL's file version
         (${FILE_VERSION}) and the language of its version resource
         (${FILE_LANGUAGE}), and no MsiFileHash row;
       - a Registry row named \"*\" (Root 0, in component QuarnverLibrary)
         for each RegistryKey below, which wixl skips.
     Every package that holds these components shares one reference-counted
     copy with the standalone quarnver MSI: do not change the GUIDs. The
     vendor folder is a component of its own, so that it goes with the last
     package that holds it, once the library's folder has gone. -->
<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">
  <Fragment>
    <DirectoryRef Id=\"TARGETDIR\">
      <Directory Id=\"${common_files}\">
        <Directory Id=\"QuarnverVendorFolder\" Name=\"Velmora\">
          <Directory Id=\"QuarnverFolder\" Name=\"QUARN 5\">
            <Component Id=\"QuarnverLibrary\" Guid=\"{${library_guid}}\"${win64}>
              <File Id=\"QuarnverDll\" Name=\"quarnver.dll\" Source=\"$(var.QuarnverDir)/quarnver.dll\" KeyPath=\"yes\"/>
${library_rows}            </Component>
          </Directory>
          <Component Id=\"QuarnverVendor\" Guid=\"{${vendor_guid}}\"${win64}>
            <CreateFolder/>
          </Component>
        </Directory>
      </Directory>
      <Component Id=\"QuarnverShared\" Guid=\"{${shared_guid}}\"${win64}>
${shared_rows}      </Component>
    </DirectoryRef>
    <ComponentGroup Id=\"QuarnverComponents\">
      <ComponentRef Id=\"QuarnverLibrary\"/>
      <ComponentRef Id=\"QuarnverShared\"/>
      <ComponentRef Id=\"QuarnverVendor\"/>
    </ComponentGroup>
  </Fragment>
</Wix>
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
