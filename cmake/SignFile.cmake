# cmake -DFILE=<pe or msi file> -DWORK=<folder> -DDESCRIPTION=<text> [-DBUDGET=<bytes>]
#       [-DMSI=ON -DTIME=<seconds>] [-DFRESH=ON] -P SignFile.cmake
# Signs FILE in place with an Authenticode SHA-256 signature (osslsigncode);
# fails when the signed file is larger than BUDGET. A Windows Installer
# package (MSI) is signed with its MsiDigitalSignatureEx as well, at TIME, so
# that signing it twice gives the same bytes.
#
# A real release gives the signing key and its certificate in the environment:
#   QUARNVER_SIGN_KEY       private key file (PEM or DER)
#   QUARNVER_SIGN_CERT      certificate file with the chain (PEM or DER, or SPC)
#   QUARNVER_SIGN_PASSWORD  the key's password, if it has one (optional)
#   QUARNVER_SIGN_TIMESTAMP a time-stamping server's URL (optional; without it
#                           the signature stops verifying when the certificate
#                           expires)
# Without them, a throwaway self-signed certificate is made in WORK (openssl),
# so the signing step always runs and is tested; its signature verifies but
# proves no publisher. FRESH makes a new one (each release build does, so
# no throwaway key outlives the build it signed); its key stays in a folder
# only the user can open.
find_program(OSSLSIGNCODE osslsigncode REQUIRED)
file(MAKE_DIRECTORY ${WORK})
file(CHMOD ${WORK} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
if(DEFINED ENV{QUARNVER_SIGN_KEY} AND DEFINED ENV{QUARNVER_SIGN_CERT})
    set(key $ENV{QUARNVER_SIGN_KEY})
    set(cert $ENV{QUARNVER_SIGN_CERT})
    set(kind "the certificate ${cert}")
else()
    find_program(OPENSSL openssl REQUIRED)
    set(key ${WORK}/throwaway-key.pem)
    set(cert ${WORK}/throwaway-cert.pem)
    set(kind "a throwaway self-signed certificate")
    if(FRESH)
        file(REMOVE ${key} ${cert})
    endif()
    if(NOT EXISTS ${cert})
        execute_process(
            COMMAND ${OPENSSL} req -x509 -newkey rsa:3072 -sha256 -nodes -days 30
                    -subj "/CN=quarnver throwaway signing certificate" -keyout ${key} -out ${cert}
            OUTPUT_QUIET ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
    endif()
endif()

set(args -h sha256 -n ${DESCRIPTION} -certs ${cert} -key ${key})
if(MSI)
    list(APPEND args -add-msi-dse -st ${TIME})
endif()
if(DEFINED ENV{QUARNVER_SIGN_TIMESTAMP})
    list(APPEND args -ts $ENV{QUARNVER_SIGN_TIMESTAMP})
endif()
set(command ${OSSLSIGNCODE} sign ${args} -in ${FILE} -out ${FILE}.signed)
if(DEFINED ENV{QUARNVER_SIGN_PASSWORD})
    # The password goes through a pipe from the shell's own printf, which
    # reads it from the environment: it shows in no process list and lies in
    # no file, so nothing of it is left behind however the build ends.
    set(command sh -c "printf %s \"$QUARNVER_SIGN_PASSWORD\" | \"$0\" \"$@\" -readpass /dev/stdin" ${command})
endif()
file(REMOVE ${FILE}.signed)
execute_process(COMMAND ${command} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "signing ${FILE} failed:\n${output}")
endif()
file(RENAME ${FILE}.signed ${FILE})
file(SIZE ${FILE} size)
message(STATUS "signed ${FILE} with ${kind}: ${size} bytes")
if(BUDGET AND size GREATER BUDGET)
    message(FATAL_ERROR "${FILE}: ${size} bytes signed, over its budget of ${BUDGET} bytes")
endif()
