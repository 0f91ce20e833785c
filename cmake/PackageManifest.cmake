# cmake -DDIR=<package folder> -DVERSION=<x.y.z> -DCREATED=<ISO time> [-DSBOM=<file name>]
#       [-DCOMPONENTS=<file>] [-DBINARY=<file name>] -P PackageManifest.cmake
# Writes the manifests of one unpacked package, from the files it holds:
#   SBOM (e.g. quarnver.spdx.json)  an SPDX 2.3 bill of materials: the package,
#        each of its files with SHA-256 and SHA-1, and the components linked
#        statically into BINARY (COMPONENTS, written by cmake/ReleasePackage.cmake
#        from the Debian packages that own the linked libraries)
#   SHA256SUMS  the SHA-256 of every other file, for `sha256sum -c SHA256SUMS`
# and, beside the folder, <folder>.files: the archive's entries, sorted.
get_filename_component(name ${DIR} NAME)
get_filename_component(parent ${DIR} DIRECTORY)
file(REMOVE ${DIR}/SHA256SUMS)
if(SBOM)
    file(REMOVE ${DIR}/${SBOM})
endif()
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${DIR} ${DIR}/*)
list(SORT files)

function(json_text out text)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

if(SBOM)
    include(${COMPONENTS})
    set(file_entries "")
    set(relationships "")
    set(sha1_list "")
    set(index 0)
    set(binary_id "")
    foreach(file IN LISTS files)
        math(EXPR index "${index} + 1")
        file(SHA256 ${DIR}/${file} sha256)
        file(SHA1 ${DIR}/${file} sha1)
        list(APPEND sha1_list ${sha1})
        json_text(file_name "./${file}")
        set(id "SPDXRef-File-${index}")
        if(file STREQUAL BINARY)
            set(binary_id ${id})
        endif()
        string(APPEND file_entries "    {\"SPDXID\": \"${id}\", \"fileName\": ${file_name},
     \"checksums\": [{\"algorithm\": \"SHA256\", \"checksumValue\": \"${sha256}\"},
                     {\"algorithm\": \"SHA1\", \"checksumValue\": \"${sha1}\"}],
     \"licenseConcluded\": \"NOASSERTION\", \"copyrightText\": \"NOASSERTION\"},\n")
        string(APPEND relationships "    {\"spdxElementId\": \"SPDXRef-Package-quarnver\", \"relationshipType\": \"CONTAINS\", \"relatedSpdxElement\": \"${id}\"},\n")
    endforeach()
    # The package verification code: SHA-1 over the sorted SHA-1s of its files.
    list(SORT sha1_list)
    string(REPLACE ";" "" sha1_text "${sha1_list}")
    string(SHA1 verification "${sha1_text}")

    set(component_entries "")
    foreach(component IN LISTS QUARN_COMPONENTS)
        json_text(component_name "${QUARN_COMPONENT_${component}_NAME}")
        json_text(version "${QUARN_COMPONENT_${component}_VERSION}")
        json_text(licence "${QUARN_COMPONENT_${component}_LICENCE}")
        json_text(debian "${QUARN_COMPONENT_${component}_DEBIAN}")
        json_text(source_info "linked from ${QUARN_COMPONENT_${component}_FILES}, Debian package ${QUARN_COMPONENT_${component}_DEBIAN} ${QUARN_COMPONENT_${component}_VERSION} (source ${QUARN_COMPONENT_${component}_SOURCE})")
        json_text(licence_comment "as stated in /usr/share/doc/${QUARN_COMPONENT_${component}_DEBIAN}/copyright")
        json_text(purl "pkg:deb/debian/${QUARN_COMPONENT_${component}_DEBIAN}@${QUARN_COMPONENT_${component}_VERSION}?arch=${QUARN_COMPONENT_${component}_ARCH}")
        string(APPEND component_entries "    {\"SPDXID\": \"SPDXRef-Package-${component}\", \"name\": ${component_name},
     \"versionInfo\": ${version}, \"supplier\": \"Organization: Debian\",
     \"downloadLocation\": \"NOASSERTION\", \"filesAnalyzed\": false, \"sourceInfo\": ${source_info},
     \"licenseConcluded\": \"NOASSERTION\", \"licenseDeclared\": ${licence}, \"licenseComments\": ${licence_comment},
     \"copyrightText\": \"NOASSERTION\", \"primaryPackagePurpose\": \"LIBRARY\",
     \"externalRefs\": [{\"referenceCategory\": \"PACKAGE-MANAGER\", \"referenceType\": \"purl\", \"referenceLocator\": ${purl}}]},\n")
        if(binary_id)
            string(APPEND relationships "    {\"spdxElementId\": \"${binary_id}\", \"relationshipType\": \"STATIC_LINK\", \"relatedSpdxElement\": \"SPDXRef-Package-${component}\"},\n")
        endif()
    endforeach()
    string(REGEX REPLACE ",\n$" "\n" component_entries "${component_entries}")
    set(component_separator "")
    if(component_entries)
        set(component_separator ",")
    endif()
    string(REGEX REPLACE ",\n$" "\n" relationships "${relationships}")
    string(REGEX REPLACE ",\n$" "\n" file_entries "${file_entries}")

    file(WRITE ${DIR}/${SBOM} "{
  \"spdxVersion\": \"SPDX-2.3\",
  \"dataLicense\": \"CC0-1.0\",
  \"SPDXID\": \"SPDXRef-DOCUMENT\",
  \"name\": \"${name}\",
  \"documentNamespace\": \"https://quarnver.invalid/spdx/${name}-${verification}\",
  \"creationInfo\": {\"created\": \"${CREATED}\", \"creators\": [\"Tool: quarnver-cmake/PackageManifest.cmake\"]},
  \"documentDescribes\": [\"SPDXRef-Package-quarnver\"],
  \"packages\": [
    {\"SPDXID\": \"SPDXRef-Package-quarnver\", \"name\": \"quarnver\", \"versionInfo\": \"${VERSION}\",
     \"packageFileName\": \"${name}.zip\", \"downloadLocation\": \"NOASSERTION\", \"filesAnalyzed\": true,
     \"packageVerificationCode\": {\"packageVerificationCodeValue\": \"${verification}\"},
     \"licenseConcluded\": \"NOASSERTION\", \"licenseDeclared\": \"NOASSERTION\", \"copyrightText\": \"NOASSERTION\",
     \"primaryPackagePurpose\": \"LIBRARY\"}${component_separator}
${component_entries}  ],
  \"files\": [
${file_entries}  ],
  \"relationships\": [
    {\"spdxElementId\": \"SPDXRef-DOCUMENT\", \"relationshipType\": \"DESCRIBES\", \"relatedSpdxElement\": \"SPDXRef-Package-quarnver\"},
${relationships}  ]
}
")
    list(APPEND files ${SBOM})
    list(SORT files)
endif()

set(sums "")
foreach(file IN LISTS files)
    file(SHA256 ${DIR}/${file} sha256)
    string(APPEND sums "${sha256}  ${file}\n")
endforeach()
file(WRITE ${DIR}/SHA256SUMS "${sums}")

list(APPEND files SHA256SUMS)
list(SORT files)
list(TRANSFORM files PREPEND "${name}/")
string(REPLACE ";" "\n" entries "${files}")
file(WRITE ${parent}/${name}.files "${entries}\n")
