# What is installed under the prefix, listed once: the programs in bin/, the
# two component libraries in lib/wayscribe/, the help set, a sample page and
# the browser extension in share/wayscribe/. Registration is scripts/install's
# work, as it writes to the installing user's registry.
#
# The list gives both `cmake --install` its rules and the build its
# install-files.txt (kind, source and destination folder, tab-separated, a
# line each), from which scripts/install copies. scripts/install does not
# run `cmake --install`, which writes its manifest into the build folder:
# two installs from one build into two prefixes would race over that file,
# and uninstalling one could remove the other's files.

set(wys_install_list)

# wys_install(PROGRAM|LIBRARY target destination) or
# wys_install(FILE|FOLDER path destination)
macro(wys_install kind what destination)
    if("${kind}" STREQUAL "PROGRAM")
        install(TARGETS ${what} RUNTIME DESTINATION ${destination})
        string(APPEND wys_install_list "program\t$<TARGET_FILE:${what}>\t${destination}\n")
    elseif("${kind}" STREQUAL "LIBRARY")
        install(TARGETS ${what} LIBRARY DESTINATION ${destination})
        string(APPEND wys_install_list "library\t$<TARGET_FILE:${what}>\t${destination}\n")
    elseif("${kind}" STREQUAL "FILE")
        install(FILES ${what} DESTINATION ${destination})
        string(APPEND wys_install_list "file\t${what}\t${destination}\n")
    elseif("${kind}" STREQUAL "FOLDER")
        install(DIRECTORY ${what}/ DESTINATION ${destination})
        string(APPEND wys_install_list "folder\t${what}\t${destination}\n")
    else()
        message(FATAL_ERROR "wys_install: unknown kind ${kind}")
    endif()
endmacro()

wys_install(PROGRAM WYSCHelper bin)
wys_install(PROGRAM wayscribe-capture bin)
wys_install(PROGRAM wayscribe-capture-host bin)
wys_install(PROGRAM wayscribe-history bin)
wys_install(PROGRAM wayscribe-register bin)
wys_install(LIBRARY WYSCbho lib/wayscribe)
wys_install(FOLDER ${PROJECT_SOURCE_DIR}/share/sample share/wayscribe/sample)
if(WAYSCRIBE_GUI)
    wys_install(PROGRAM wayscribe-browser bin)
    wys_install(PROGRAM wayscribe-band bin)
    wys_install(PROGRAM wayscribe-native-host bin)
    wys_install(PROGRAM wayscribe-help bin)
    wys_install(LIBRARY Wayscribe lib/wayscribe)
    wys_install(FOLDER ${WAYSCRIBE_HELP_DIR} share/wayscribe/help)
    # Built by the wayscribe_extension target in hosts/extension.
    wys_install(FOLDER ${PROJECT_BINARY_DIR}/extension share/wayscribe/extension)
    wys_install(FILE ${PROJECT_BINARY_DIR}/wayscribe-extension.xpi share/wayscribe)
endif()
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/install-files.txt CONTENT "${wys_install_list}")
