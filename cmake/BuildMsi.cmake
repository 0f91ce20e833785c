# Builds one Windows Installer package around the fragment msi/quarnver.wxs
# (cmake/InstallerSourceGen.cmake) with wixl, reproducibly: the product code
# and the package code follow from the product's name, version and
# architecture, every file time and the package's own times are DATE, so a
# build from another folder gives the same bytes. Run with cmake -P:
#   -DNAME=<product name> -DVERSION=<a.b.c> -DARCH=<x86|x64>
#   -DUPGRADE_CODE=<guid>       the same for every version of the product
#   -DFRAGMENT=<quarnver.wxs> -DDLL=<quarnver.dll> -DFILE_VERSION=<a.b.c.d>
#   -DWORK=<scratch folder> -DOUTPUT=<x.msi> -DDATE=<YYYY-MM-DD hh:mm:ss, UTC>
#   [-DSIGN_WORK=<folder> -DEPOCH=<seconds>]  sign with cmake/SignFile.cmake
# A later version replaces an earlier one (major upgrade); an earlier one is
# refused over a later one.
cmake_minimum_required(VERSION 3.20)
find_program(WIXL wixl REQUIRED)
find_program(MSIBUILD msibuild REQUIRED)
find_program(FAKETIME faketime REQUIRED)

# Codes derived from what identifies the package, never random.
set(namespace CBDF21FC-E314-4D7A-8B05-5BFDB433D8DD)
string(UUID product_code NAMESPACE ${namespace} NAME "${NAME} ${VERSION} ${ARCH} product" TYPE SHA1 UPPER)
string(UUID package_code NAMESPACE ${namespace} NAME "${NAME} ${VERSION} ${ARCH} package" TYPE SHA1 UPPER)
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

# wixl reads no version resource: the File table gets the DLL's file version,
# so the installer's versioning rules apply, and no hash row in its place.
# It also takes RemoveFolder's folder for the component's own: the vendor
# folder is the one to remove when it is left empty.
# The template ("platform;language") holds a semicolon: the call is made here,
# where a quoted argument stays one.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${FAKETIME} -f "${DATE}" ${MSIBUILD} unsigned.msi
                        -q "UPDATE `File` SET `Version` = '${FILE_VERSION}' WHERE `File` = 'QuarnverDll'"
                        -q "DELETE FROM `MsiFileHash`" ${insert_rows}
                        -q "UPDATE `RemoveFile` SET `DirProperty` = 'QuarnverVendorFolder' WHERE `FileKey` = 'QuarnverVendorFolderRemoved'"
                        -s "${NAME}" "Velmora" "${template}" "{${package_code}}"
                WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "BuildMsi: msibuild failed:\n${output}")
endif()

if(SIGN_WORK)
    quarn_run(${CMAKE_COMMAND} -DFILE=${WORK}/unsigned.msi -DWORK=${SIGN_WORK} -DMSI=ON -DTIME=${EPOCH}
              "-DDESCRIPTION=${NAME} ${VERSION}" -P ${CMAKE_CURRENT_LIST_DIR}/SignFile.cmake)
endif()
file(COPY_FILE "${WORK}/unsigned.msi" "${OUTPUT}")
