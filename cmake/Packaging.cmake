# Installing quimbo-build on Linux and macOS, and packing it with CPack: a .deb
# and a .tar.gz (scripts/package makes both). Only quimbo-build is installed:
#   bin/quimbo-build
#   share/man/man1/quimbo-build.1.gz
#   share/doc/quimbo-build/README.md, copyright, changelog.gz
# The Windows programs ship in the zip that scripts/dist writes instead.
if(WIN32)
  return()
endif()

include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(QUIMBO_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/quimbo-build)

install(TARGETS quimbo-build RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual page and the change log with the project's version filled in,
# compressed without a time stamp in the header, as Debian keeps them.
set(manDir ${CMAKE_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/cli/quimbo-build.1.in ${manDir}/quimbo-build.1 @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cli/changelog.in ${manDir}/changelog @ONLY)
add_custom_command(
  OUTPUT ${manDir}/quimbo-build.1.gz ${manDir}/changelog.gz
  COMMAND sh -c "gzip -9 -n -c quimbo-build.1 >quimbo-build.1.gz && gzip -9 -n -c changelog >changelog.gz"
  DEPENDS ${manDir}/quimbo-build.1 ${manDir}/changelog
  WORKING_DIRECTORY ${manDir}
  COMMENT "Compressing the manual page and the change log"
  VERBATIM)
add_custom_target(quimbo-build-docs ALL DEPENDS ${manDir}/quimbo-build.1.gz ${manDir}/changelog.gz)

install(FILES ${manDir}/quimbo-build.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cli/copyright ${manDir}/changelog.gz
        DESTINATION ${QUIMBO_DOC_DIR})

# ---- Packages ------------------------------------------------------------------------------

set(CPACK_PACKAGE_NAME quimbo-build)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tervaldo)
set(CPACK_PACKAGE_CONTACT "Tervaldo <quimbo@tervaldo.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tervaldo.example/quimbo/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web page gallery of the images in a folder")
set(CPACK_PACKAGE_DESCRIPTION [=[
quimbo-build writes one self-contained HTML page into a folder of images
that shows every JPEG, PNG, GIF, SVG, WebP, AVIF and icon file as a captioned
thumbnail, and lets the viewer zoom, step through, search and inspect them in
any web browser straight from disk. It also writes a Windows batch script that
makes small preview copies, and can make these copies itself.

The page is the same, byte for byte, as the one the Windows program Quimbo
writes for the same folder.]=])
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_FILE_NAME "quimbo-build-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quimbo-build_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # dependencies from the libraries the program links
# libvips is not linked but loaded when --previews first needs it
# (cli/preview_image_vips.cpp), so dpkg-shlibdeps cannot see it: it is
# declared here. Recommends, not Depends: everything but --previews works
# without it (a run that needs it and lacks it says which package to
# install), apt installs recommended packages by default, and a minimal
# system that only makes pages need not take libvips and its ~100 libraries.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${QUIMBO_VIPS_PACKAGE} (>= ${QUIMBO_VIPS_MINIMUM})")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
