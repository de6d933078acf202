# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages, the licence and changelogs, and the Debian package ("cpack -G DEB" in a build
# directory; scripts/package makes a Release build without the tests and packs it).

set(MIREVANT_MAINTAINER "Mirevant developers <maintainers@mirevant.invalid>"
    CACHE STRING "The package's maintainer, as \"Name <address>\"")
set(MIREVANT_PACKAGE_RELEASE 1 CACHE STRING "The Debian revision of the package")
# The date of the Debian changelog's entry for this version.
set(MIREVANT_RELEASE_DATE "Mon, 07 Dec 2026 12:00:00 +0000")

# Manual pages and changelogs go into the package compressed, without a timestamp in the gzip
# header so that two builds of the same source give the same files.
find_program(MIREVANT_GZIP gzip REQUIRED)
set(MIREVANT_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.Debian.in
               ${MIREVANT_PACKAGING_DIR}/changelog.Debian @ONLY)
set(MIREVANT_GZIPPED)
foreach(pair "man/mirevant.1:mirevant.1" "man/mirevant-report.1:mirevant-report.1"
             "${MIREVANT_PACKAGING_DIR}/changelog.Debian:changelog.Debian" "CHANGELOG.md:changelog")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 name)
  get_filename_component(source ${source} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
  add_custom_command(OUTPUT ${MIREVANT_PACKAGING_DIR}/${name}.gz
    COMMAND ${MIREVANT_GZIP} -9 -n -c ${source} > ${MIREVANT_PACKAGING_DIR}/${name}.gz
    DEPENDS ${source} VERBATIM)
  list(APPEND MIREVANT_GZIPPED ${MIREVANT_PACKAGING_DIR}/${name}.gz)
endforeach()
add_custom_target(mirevant_docs ALL DEPENDS ${MIREVANT_GZIPPED})

install(FILES ${MIREVANT_PACKAGING_DIR}/mirevant.1.gz ${MIREVANT_PACKAGING_DIR}/mirevant-report.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${MIREVANT_PACKAGING_DIR}/changelog.Debian.gz
              ${MIREVANT_PACKAGING_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mirevant)

# The package always installs under /usr, whatever prefix this build was configured with: the
# programs find their data relative to their own directory.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_NAME mirevant)
set(CPACK_PACKAGE_VENDOR "Mirevant")
set(CPACK_PACKAGE_CONTACT "${MIREVANT_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "calculator for measurement uncertainty")
# Debian wants the lines of the long description within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Mirevant evaluates a measurement model given as one line of expression text,
propagates the standard uncertainties and covariances of its variables to first
order, computes the effective degrees of freedom and the coverage factor, and
writes every step into a report. It also gives the uncertainty budget and a
Monte Carlo check of the result. mirevant-report prints the report of a project
file without a window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${MIREVANT_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# The window's font is not a library dependency.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
include(CPack)
