# What `make install` (cmake --install) and the Debian package put on the system: the three
# programs, the desktop entry with its file types and icons, the AppStream description, the
# manual, the man pages and the shell completion. Paths follow GNUInstallDirs, under any prefix.

set(TARVOLINE_MAINTAINER "Tarvoline maintainers <maintainers@users.noreply.c-seed-b3949d07.example>"
    CACHE STRING "Maintainer named in the Debian package and its changelog")

foreach(program tarvoline tarvoline-cli vivaz-sim)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

set(res ${PROJECT_SOURCE_DIR}/res)
set(generated ${CMAKE_BINARY_DIR}/install-files)

# Desktop entry, file types, icons.
install(FILES ${res}/desktop/tarvoline.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${res}/desktop/tarvoline.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${res}/icons/hicolor/${size}/tarvoline.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${res}/icons/tarvoline.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

configure_file(${res}/desktop/works.hollowbrook.tarvoline.metainfo.xml.in
               ${generated}/works.hollowbrook.tarvoline.metainfo.xml @ONLY)
install(FILES ${generated}/works.hollowbrook.tarvoline.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${res}/completion/tarvoline-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The manual where Help > Contents finds it, with the package's copyright and changelog.
install(FILES ${res}/help/tarvoline.html ${res}/debian/copyright
        DESTINATION ${TARVOLINE_INSTALL_DOCDIR})

# Man pages and the changelog go compressed (gzip -9n: the same bytes at every build), as
# Debian wants them.
execute_process(COMMAND date -u -R -d "${TARVOLINE_RELEASE_DATE}"
                OUTPUT_VARIABLE TARVOLINE_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(${res}/debian/changelog.in ${generated}/changelog @ONLY)
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(source ${res}/man/tarvoline.1 ${res}/man/tarvoline-cli.1 ${res}/man/vivaz-sim.1
               ${generated}/changelog)
    get_filename_component(name ${source} NAME)
    set(output ${generated}/${name}.gz)
    add_custom_command(OUTPUT ${output}
                       COMMAND sh -c "'${GZIP}' -9n -c '${source}' > '${output}.part' && mv '${output}.part' '${output}'"
                       DEPENDS ${source} VERBATIM
                       COMMENT "Compressing ${name}")
    list(APPEND compressed ${output})
endforeach()
add_custom_target(tarvoline_install_files ALL DEPENDS ${compressed})
install(FILES ${generated}/tarvoline.1.gz ${generated}/tarvoline-cli.1.gz
              ${generated}/vivaz-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated}/changelog.gz DESTINATION ${TARVOLINE_INSTALL_DOCDIR})
