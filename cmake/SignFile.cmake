# cmake -DFILE=<pe or msi file> -DWORK=<folder> -DDESCRIPTION=<text> [-DBUDGET=<bytes>]
#       [-DMSI=ON -DTIME=<seconds>] [-DTEST_SIGNING=ON [-DFRESH=ON]] -P SignFile.cmake
# cmake -DCHECK=ON -P SignFile.cmake   only checks the release signing settings
# Signs FILE in place with an Authenticode SHA-256 signature (osslsigncode);
# fails when the signed file is larger than BUDGET. A Windows Installer
# package (MSI) is signed with its MsiDigitalSignatureEx as well, at TIME.
#
# A release is signed with the certificate and key given in the environment:
#   QUARNVER_SIGN_PKCS11_MODULE the PKCS#11 module of the hardware token or
#                               signing service that holds the key; with it,
#                               QUARNVER_SIGN_KEY is the key's pkcs11: URI
#   QUARNVER_SIGN_PKCS11_ENGINE OpenSSL's PKCS#11 engine, where osslsigncode
#                               does not find it itself (optional)
#   QUARNVER_SIGN_KEY           the key's pkcs11: URI, or without a module a
#                               private key file (PEM or DER): only for a
#                               certificate of an organisation's own CA, since
#                               the key of a publicly trusted code-signing
#                               certificate never leaves a token or service
#   QUARNVER_SIGN_CERT          the certificate with its chain (PEM, DER or SPC)
#   QUARNVER_SIGN_PASSWORD      the token's PIN or the key file's password (optional)
#   QUARNVER_SIGN_TIMESTAMP     RFC 3161 time-stamping servers' URLs, separated
#                               by spaces, tried in turn: the time stamp keeps
#                               the signature valid after the certificate expires
# Without a key, its certificate and a time-stamping server it refuses to sign.
# TEST_SIGNING (the build's QUARN_TEST_SIGNING) signs with a throwaway self-signed
# certificate instead, made in WORK (FRESH makes a new one, so no throwaway key
# outlives the build it signed), in a folder only the user can open.
set(sign_args "")
set(problems "")
if(TEST_SIGNING)
    find_program(OPENSSL openssl REQUIRED)
    file(MAKE_DIRECTORY ${WORK})
    file(CHMOD ${WORK} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    set(key ${WORK}/throwaway-key.pem)
    set(cert ${WORK}/throwaway-cert.pem)
    set(kind "a throwaway self-signed test certificate (no release)")
    if(FRESH)
        file(REMOVE ${key} ${cert})
    endif()
    if(NOT EXISTS ${cert})
        execute_process(
            COMMAND ${OPENSSL} req -x509 -newkey rsa:3072 -sha256 -nodes -days 30
                    -subj "/CN=quarnver throwaway test signing certificate" -keyout ${key} -out ${cert}
            OUTPUT_QUIET ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
    endif()
else()
    set(key "$ENV{QUARNVER_SIGN_KEY}")
    set(cert "$ENV{QUARNVER_SIGN_CERT}")
    set(module "$ENV{QUARNVER_SIGN_PKCS11_MODULE}")
    separate_arguments(servers UNIX_COMMAND "$ENV{QUARNVER_SIGN_TIMESTAMP}")
    if(module)
        set(kind "the certificate ${cert} and its key in ${module}")  # the URI may hold a PIN
        if(NOT EXISTS "${module}")
            string(APPEND problems "  QUARNVER_SIGN_PKCS11_MODULE: no module ${module}\n")
        endif()
        if(NOT key MATCHES "^pkcs11:")
            string(APPEND problems "  QUARNVER_SIGN_KEY: not a pkcs11: URI of the token's key\n")
        endif()
        if(DEFINED ENV{QUARNVER_SIGN_PKCS11_ENGINE})
            list(APPEND sign_args -pkcs11engine $ENV{QUARNVER_SIGN_PKCS11_ENGINE})
        endif()
        list(APPEND sign_args -pkcs11module ${module})
    else()
        set(kind "the certificate ${cert} and the key file ${key}, which suits an organisation's own CA only")
        if(NOT key OR NOT EXISTS "${key}")
            string(APPEND problems "  QUARNVER_SIGN_KEY: no key file, and no QUARNVER_SIGN_PKCS11_MODULE\n")
        endif()
    endif()
    if(NOT cert OR NOT EXISTS "${cert}")
        string(APPEND problems "  QUARNVER_SIGN_CERT: no certificate chain file\n")
    endif()
    if(NOT servers)
        string(APPEND problems "  QUARNVER_SIGN_TIMESTAMP: no time-stamping server\n")
    endif()
    foreach(server IN LISTS servers)
        if(NOT server MATCHES "^https?://")
            string(APPEND problems "  QUARNVER_SIGN_TIMESTAMP: ${server} is no http(s) URL\n")
        endif()
        list(APPEND sign_args -ts ${server})
    endforeach()
    if(problems)
        message(FATAL_ERROR "No release signing: a release is signed with a certificate Windows trusts and a "
                            "time stamp (docs/releasing.md), and these settings are missing or wrong:\n${problems}"
                            "A test build asks for a throwaway certificate with -DQUARN_TEST_SIGNING=ON.")
    endif()
endif()
if(CHECK)
    return()
endif()

find_program(OSSLSIGNCODE osslsigncode REQUIRED)
list(APPEND sign_args -h sha256 -n ${DESCRIPTION} -certs ${cert})
if(MSI)
    list(APPEND sign_args -add-msi-dse -st ${TIME})
endif()
# The key goes through the environment to the shell: a pkcs11: URI holds
# semicolons, which would split it in a CMake list.
set(ENV{QUARN_SIGNING_KEY} "${key}")
set(shell "\"$0\" \"$@\" -key \"$QUARN_SIGNING_KEY\"")
if(NOT TEST_SIGNING AND DEFINED ENV{QUARNVER_SIGN_PASSWORD})
    # The password goes through a pipe from the shell's own printf, which
    # reads it from the environment: it shows in no process list and lies in
    # no file, so nothing of it is left behind however the build ends.
    set(shell "printf %s \"$QUARNVER_SIGN_PASSWORD\" | ${shell} -readpass /dev/stdin")
endif()
set(command sh -c "${shell}" ${OSSLSIGNCODE} sign ${sign_args} -in ${FILE} -out ${FILE}.signed)
file(REMOVE ${FILE}.signed)
execute_process(COMMAND ${command} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    file(REMOVE ${FILE}.signed)
    message(FATAL_ERROR "signing ${FILE} failed:\n${output}")
endif()
file(RENAME ${FILE}.signed ${FILE})
file(SIZE ${FILE} size)
message(STATUS "signed ${FILE} with ${kind}: ${size} bytes")
if(BUDGET AND size GREATER BUDGET)
    message(FATAL_ERROR "${FILE}: ${size} bytes signed, over its budget of ${BUDGET} bytes")
endif()
