# Builds one Windows Installer package around the fragment msi/quarnver.wxs
# (cmake/InstallerSourceGen.cmake) with wixl, reproducibly: the product code
# follows from the product's name, version and architecture, the package code
# from the package's content (below), every file time and the package's own
# times are DATE, so a build from another folder gives the same bytes, its
# signature aside. Run with cmake -P:
#   -DNAME=<product name> -DVERSION=<a.b.c> -DARCH=<x86|x64>
#   -DUPGRADE_CODE=<guid>       the same for every version of the product
#   -DFRAGMENT=<quarnver.wxs> -DDLL=<quarnver.dll> -DFILE_VERSION=<a.b.c.d>
#   -DFILE_LANGUAGE=<language of the DLL's version resource, decimal>
#   -DWORK=<scratch folder> -DOUTPUT=<x.msi> -DDATE=<YYYY-MM-DD hh:mm:ss, UTC>
#   [-DSIGN_WORK=<folder> -DEPOCH=<seconds> [-DTEST_SIGNING=ON]]  sign with cmake/SignFile.cmake
# A later version replaces an earlier one (major upgrade); an earlier one is
# refused over a later one.
cmake_minimum_required(VERSION 3.20)
find_program(WIXL wixl REQUIRED)
find_program(MSIBUILD msibuild REQUIRED)
find_program(FAKETIME faketime REQUIRED)
find_program(MSIINFO msiinfo REQUIRED)

# The product code follows from what identifies the product, never random.
set(namespace CBDF21FC-E314-4D7A-8B05-5BFDB433D8DD)
string(UUID product_code NAMESPACE ${namespace} NAME "${NAME} ${VERSION} ${ARCH} product" TYPE SHA1 UPPER)
if(ARCH STREQUAL "x64")
    set(template "x64;1033")
else()
    set(template "Intel;1033")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(COPY_FILE "${DLL}" "${WORK}/quarnver.dll")
file(COPY_FILE "${FRAGMENT}" "${WORK}/quarnver.wxs")
file(WRITE "${WORK}/product.wxs"
"<?xml version=\"1.0\" encoding=\"utf-8\"?>
<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">
  <Product Id=\"{${product_code}}\" Name=\"${NAME}\" Language=\"1033\" Version=\"${VERSION}\"
           Manufacturer=\"Velmora\" UpgradeCode=\"{${UPGRADE_CODE}}\">
    <Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"perMachine\" Description=\"${NAME} ${VERSION}\"/>
    <MajorUpgrade DowngradeErrorMessage=\"A later version of ${NAME} is already installed.\"/>
    <Media Id=\"1\" Cabinet=\"quarnver.cab\" EmbedCab=\"yes\"/>
    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\"/>
    <Feature Id=\"Quarnver\" Title=\"${NAME}\" Level=\"1\">
      <ComponentGroupRef Id=\"QuarnverComponents\"/>
    </Feature>
  </Product>
</Wix>
")

function(quarn_run)
    execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "BuildMsi: ${ARGN} failed:\n${output}")
    endif()
endfunction()

# The names of unsigned.msi's `kind` (tables or streams) that msiinfo lists,
# sorted, but for the summary information, which is to hold the package code
# (its fields are in the digest; msiinfo prints the stream's name without its
# leading \005). Fails unless `needed` is among them.
function(quarn_msi_names kind needed out)
    execute_process(COMMAND ${MSIINFO} ${kind} unsigned.msi WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result
                    OUTPUT_VARIABLE names ERROR_VARIABLE output)
    string(REGEX REPLACE "\n$" "" names "${names}")
    string(REPLACE "\n" ";" names "${names}")
    list(FILTER names EXCLUDE REGEX "SummaryInformation$")
    list(SORT names)
    if(NOT result EQUAL 0 OR NOT "${needed}" IN_LIST names)
        message(FATAL_ERROR "BuildMsi: no ${needed} among the ${kind} of unsigned.msi:\n${output}")
    endif()
    set(${out} "${names}" PARENT_SCOPE)
endfunction()

# wixl stamps the cabinet with the sources' times and the summary with the
# clock; it opens relative sources only.
quarn_run(touch -d "${DATE} UTC" quarnver.dll quarnver.wxs product.wxs)
quarn_run(${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f "${DATE}"
          ${WIXL} -a ${ARCH} -D QuarnverDir=. -o unsigned.msi product.wxs quarnver.wxs)
# The empty keys, which wixl skips: one Registry row named "*" each, in the
# component of the DLL (the fragment has them there only).
file(STRINGS "${WORK}/quarnver.wxs" empty_keys REGEX "<RegistryKey ")
set(insert_rows "")
set(index 0)
foreach(line IN LISTS empty_keys)
    if(NOT line MATCHES "Key=\"([^\"]+)\" Action=\"createAndRemoveOnUninstall\"")
        message(FATAL_ERROR "BuildMsi: no empty key in \"${line}\"")
    endif()
    math(EXPR index "${index} + 1")
    list(APPEND insert_rows -q "INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('QuarnverEmptyKey${index}', 0, '${CMAKE_MATCH_1}', '*', 'QuarnverLibrary')")
endforeach()

# wixl reads no version resource: the File table gets the DLL's file version
# and language, so the installer's versioning rules apply and a repair leaves
# the file alone (ICE60), and no hash row in its place.
# (The fragment's comment lists these steps for the products that include it.)
quarn_run(${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f "${DATE}" ${MSIBUILD} unsigned.msi
          -q "UPDATE `File` SET `Version` = '${FILE_VERSION}', `Language` = '${FILE_LANGUAGE}' WHERE `File` = 'QuarnverDll'"
          -q "DELETE FROM `MsiFileHash`" ${insert_rows})

# The package code: no two different packages may share one, and a rebuild of
# the same package keeps it ("Package Codes"). So it is a digest of everything
# the package holds before it is signed itself: the DLL as signed, every
# stream (the cabinet), every table and the summary's fields. A DLL signed
# again gives another code, whatever the length of its signature.
file(SHA256 "${WORK}/quarnver.dll" content)
string(APPEND content "\n${NAME}\nVelmora\n${template}\n")
quarn_msi_names(tables Registry tables)
foreach(table IN LISTS tables)
    execute_process(COMMAND ${MSIINFO} export unsigned.msi ${table} WORKING_DIRECTORY "${WORK}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE rows ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "BuildMsi: table ${table} cannot be read:\n${output}")
    endif()
    string(SHA256 rows "${rows}")
    string(APPEND content "${table} ${rows}\n")
endforeach()
quarn_msi_names(streams quarnver.cab streams)
foreach(stream IN LISTS streams)
    execute_process(COMMAND ${MSIINFO} extract unsigned.msi ${stream} WORKING_DIRECTORY "${WORK}"
                    OUTPUT_FILE "${WORK}/stream.bin" RESULT_VARIABLE result COMMAND_ERROR_IS_FATAL ANY)
    file(SHA256 "${WORK}/stream.bin" digest)
    string(APPEND content "${stream} ${digest}\n")
endforeach()
string(UUID package_code NAMESPACE ${namespace} NAME "${content}" TYPE SHA1 UPPER)
message(STATUS "BuildMsi: ${OUTPUT}: package code {${package_code}}")

# The template ("platform;language") holds a semicolon: the call is made here,
# where a quoted argument stays one.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f "${DATE}" ${MSIBUILD} unsigned.msi
                        -s "${NAME}" "Velmora" "${template}" "{${package_code}}"
                WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "BuildMsi: msibuild failed:\n${output}")
endif()

if(SIGN_WORK)
    quarn_run(${CMAKE_COMMAND} -DFILE=${WORK}/unsigned.msi -DWORK=${SIGN_WORK} -DMSI=ON -DTIME=${EPOCH} -DTEST_SIGNING=${TEST_SIGNING}
              "-DDESCRIPTION=${NAME} ${VERSION}" -P ${CMAKE_CURRENT_LIST_DIR}/SignFile.cmake)
endif()
file(COPY_FILE "${WORK}/unsigned.msi" "${OUTPUT}")
