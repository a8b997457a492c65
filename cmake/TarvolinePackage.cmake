# The Debian package (make deb): build/tarvoline_VERSION_ARCH.deb, holding what the install
# rules install, under /usr. Dependencies come from dpkg-shlibdeps.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvoline)
set(CPACK_PACKAGE_VENDOR "Hollowbrook Works")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARVOLINE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "serial terminal for 68000 boards with the ViVaz monitor")
set(CPACK_PACKAGE_DESCRIPTION [=[
Tarvoline is a desktop serial terminal for developing programs on 68000-family
boards that run the ViVaz ROM monitor. Around the terminal window it converts
the linker's .Bin output into load files, S-records and a rewritten map, loads
programs into the board through the monitor's LOAD command and record loader,
captures the terminal text to files and sends special characters, the date and
time and a Break.

The package also holds tarvoline-cli, which runs the same operations from a
shell or a build script, and vivaz-sim, a simulated board on a pseudo-terminal.]=])

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # tarvoline_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TARVOLINE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Help > Contents hands the manual to the desktop's browser through xdg-open.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
