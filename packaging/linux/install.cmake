# What `cmake --install` puts on a Linux system, and the .deb that CPack makes of it
# (`make package`). One reverse-DNS id names the desktop entry, the icon and the AppStream
# metadata, so that menus and software centres tie them together.
if(NOT UNIX OR APPLE)
    return()
endif()

include(GNUInstallDirs)

set(KADENZO_APP_ID io.github.kadenzo.Kadenzo)
set(linux_dir ${CMAKE_CURRENT_LIST_DIR})
# Debian's place for a package's documents is share/doc/<package>, whatever the project's name.
set(kadenzo_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/kadenzo)

install(TARGETS kadenzo kadenzo-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Resolve every library symbol at start, so that the whole relocation table can be read-only
# (full RELRO), as Debian hardens its own programs.
foreach(program kadenzo kadenzo-batch)
    target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
endforeach()
install(FILES ${linux_dir}/${KADENZO_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/ui/icons/kadenzo.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps
        RENAME ${KADENZO_APP_ID}.svg)
install(FILES ${linux_dir}/${KADENZO_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo)
install(FILES ${linux_dir}/copyright DESTINATION ${kadenzo_doc_dir})

# Manual pages and the changelog go in compressed with gzip -9n, as Debian wants them: the
# strongest compression, and no name or time stamp inside, so that a rebuild is identical.
# The manual pages' footers carry the project's version.
find_program(GZIP gzip REQUIRED)
set(packaging_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
configure_file(${linux_dir}/kadenzo.1 ${packaging_dir}/kadenzo.1 @ONLY)
configure_file(${linux_dir}/kadenzo-batch.1 ${packaging_dir}/kadenzo-batch.1 @ONLY)
configure_file(${linux_dir}/changelog ${packaging_dir}/changelog COPYONLY)
set(compressed "")
foreach(name kadenzo.1 kadenzo-batch.1 changelog)
    add_custom_command(OUTPUT ${packaging_dir}/${name}.gz
        COMMAND ${GZIP} -9n -c ${packaging_dir}/${name} > ${packaging_dir}/${name}.gz
        DEPENDS ${packaging_dir}/${name} VERBATIM)
    list(APPEND compressed ${packaging_dir}/${name}.gz)
endforeach()
add_custom_target(kadenzo_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${packaging_dir}/kadenzo.1.gz ${packaging_dir}/kadenzo-batch.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_dir}/changelog.gz DESTINATION ${kadenzo_doc_dir})

# The .deb: dist/kadenzo_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kadenzo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/dist)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(KADENZO_MAINTAINER "Kadenzo developers <kadenzo@users.noreply.github.com>"
    CACHE STRING "The .deb's Maintainer field")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KADENZO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/kadenzo/kadenzo)
# The libraries come from dpkg-shlibdeps. The window's fixed layout needs Liberation Sans
# where the system's default font does not fit it, and Qt's dialogs speak Italian only with
# Qt's Italian catalogue.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, qt6-translations-l10n")
# Debian's description: the synopsis, then paragraphs; CPack indents them as Debian wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "repairs the drum kits of MIDI files, in place
Kadenzo rewrites the drum-kit Program Changes of MIDI songs (.mid, and .kar
karaoke files) that select non-standard kits, which most players lack, to the
standard kit 0. It follows channel 10 and the channels that the song's own
Roland GS messages turn into rhythm parts, and changes nothing else.

Files are changed in place, with no backup: make a copy of the songs first.
Before each change, the original kit is written to a journal, one per batch,
from which the window's summary or, later, kadenzo-batch --restore puts the
original kits back.

The package holds the window (kadenzo, in Italian) and the command-line tool
for whole collections (kadenzo-batch).")
include(CPack)
