# What `cmake --install` puts under the prefix: the programs in bin/, the
# two component libraries in lib/wayscribe/, the help set and a sample page
# in share/wayscribe/. Registration is scripts/install's work, as it writes
# to the installing user's registry.
set(wys_installed_programs WYSCHelper wayscribe-capture wayscribe-history)
foreach(program ${wys_installed_programs})
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION bin)
    endif()
endforeach()
foreach(library WYSCbho Wayscribe)
    if(TARGET ${library})
        install(TARGETS ${library} LIBRARY DESTINATION lib/wayscribe)
    endif()
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/share/sample DESTINATION share/wayscribe)
