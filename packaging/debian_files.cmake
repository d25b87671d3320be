# The two files a Debian package keeps in /usr/share/doc/vorlanth beside the documentation:
# `copyright` (machine-readable, with the licence text) and `changelog.gz` (Debian's format,
# one entry for this version, dated as CHANGELOG.md dates the release).

# copyright: the permission text of LICENSE under "License: Expat", each line indented by one
# blank and blank lines written as " .".
file(READ ${CMAKE_SOURCE_DIR}/LICENSE license_text)
string(FIND "${license_text}" "Permission is hereby granted" permission_start)
string(SUBSTRING "${license_text}" ${permission_start} -1 license_text)
string(STRIP "${license_text}" license_text)
string(REPLACE "\n\n" "\n.\n" license_text "${license_text}")
string(REPLACE "\n" "\n " license_text "${license_text}")
set(VORLANTH_LICENSE_BODY "\n ${license_text}")
string(REGEX REPLACE "^Copyright \\(c\\) " "" VORLANTH_COPYRIGHT_HOLDER "${VORLANTH_COPYRIGHT}")
configure_file(copyright.in ${VORLANTH_GENERATED}/debian/copyright @ONLY)

# changelog.gz: the release date of this version in CHANGELOG.md ("## [1.31] - 2026-12-08").
# A version without its section there is a release nobody described: refuse it.
file(STRINGS ${CMAKE_SOURCE_DIR}/CHANGELOG.md release_line
     REGEX "^## \\[${PROJECT_VERSION}\\] - [0-9]+-[0-9]+-[0-9]+$")
if(NOT release_line)
  message(FATAL_ERROR "CHANGELOG.md has no section \"## [${PROJECT_VERSION}] - YYYY-MM-DD\" for "
                      "the version in project(): add it (rename Unreleased) before the release.")
endif()
string(REGEX REPLACE ".* - " "" release_date "${release_line}")
execute_process(COMMAND date -u -R -d "${release_date}"
                OUTPUT_VARIABLE VORLANTH_RELEASE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
configure_file(changelog.Debian.in ${VORLANTH_GENERATED}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${VORLANTH_GENERATED}/debian/changelog.gz
                   COMMAND gzip -9nkf changelog
                   DEPENDS ${VORLANTH_GENERATED}/debian/changelog
                   WORKING_DIRECTORY ${VORLANTH_GENERATED}/debian VERBATIM)
add_custom_target(vorlanth_debian_changelog ALL DEPENDS ${VORLANTH_GENERATED}/debian/changelog.gz)
add_dependencies(vorlanth_release_files vorlanth_debian_changelog)
install(FILES ${VORLANTH_GENERATED}/debian/copyright ${VORLANTH_GENERATED}/debian/changelog.gz
        DESTINATION ${VORLANTH_DOC_DIR})
