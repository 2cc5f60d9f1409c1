# What `cmake --install` puts where, and the Debian package `cpack -G DEB` makes of it.
#
#   cmake --install build --prefix P     P/bin/quillbrook, P/share/man/man1/quillbrook.1,
#                                        P/share/doc/quillbrook/{README.md,LICENSE}
#   (cd build && cpack -G DEB)           quillbrook_<version>_<arch>.deb, its Depends found
#                                        by dpkg-shlibdeps from what the program links
include(GNUInstallDirs)
# Installing and packaging take what the build made; they do not build the tests first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(QB_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillbrook)
install(TARGETS quillbrook RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/quillbrook.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md LICENSE DESTINATION ${QB_DOC_DIR})

set(QUILLBROOK_PACKAGE_MAINTAINER "Quillbrook developers <quillbrook@example.org>"
    CACHE STRING "the Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillbrook)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QUILLBROOK_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small HTTP file downloader with a terminal dialog")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillbrook fetches one file over HTTP, directly or through a proxy, continues\n"
    "partial files, follows redirections and answers Basic authentication. It shows\n"
    "the transfer in a small dialog in the terminal, or runs by itself from scripts\n"
    "and reports the outcome in its exit status.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# OpenSSL is loaded at the first secure socket (platform/winsock/secure_channel.cpp) and
# libidn2 at the first host name that is not ASCII (platform/kernel/idn_convert.cpp), so no
# NEEDED entry names them for dpkg-shlibdeps: their packages are named here (libssl3t64 from
# Debian 13 on).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3 | libssl3t64, libidn2-0")
# A cross build's package is of the machine it was built for (armhf), not of the builder.
if(CMAKE_CROSSCOMPILING AND CMAKE_LIBRARY_ARCHITECTURE)
  execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# Debian's layout of the documentation: the page and the change log compressed, the licence
# as copyright (cmake/DebianDocs.cmake works on the staged files).
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianDocs.cmake)
set(CPACK_QUILLBROOK_DOC_DIR usr/share/doc/quillbrook)
set(CPACK_QUILLBROOK_MAN_PAGE usr/share/man/man1/quillbrook.1)
# The change log's date honours SOURCE_DATE_EPOCH, so the same sources make the same package.
string(TIMESTAMP CPACK_QUILLBROOK_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
include(CPack)
