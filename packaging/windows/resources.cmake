# kadenzo_windows_resources(TARGET DESCRIPTION): gives a Windows program its icon, its manifest
# and its version resource. Does nothing elsewhere.
function(kadenzo_windows_resources target description)
    if(NOT WIN32)
        return()
    endif()
    set(NAME ${target})
    set(DESCRIPTION "${description}")
    set(ICON ${PROJECT_SOURCE_DIR}/packaging/windows/kadenzo.ico)
    set(MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/kadenzo.manifest.in ${MANIFEST} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/kadenzo.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
endfunction()
