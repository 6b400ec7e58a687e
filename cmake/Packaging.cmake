# Installation layout and the Debian package (CPack DEB), plus the macOS
# bundle's settings where CMake builds on a Mac.
#
# Linux: both images live side by side in /usr/lib/vantrel-dozer; the one
# users type is /usr/bin/VantrelNotch, a link to the first. Hook commands in
# WorkBuddy's settings.json name the real path /usr/lib/vantrel-dozer/VantrelNotch
# (the executable's own path, which every upgrade replaces in place), so a
# hook installed before an upgrade keeps working after it.

if(NOT NOTCH_BUILD_APP OR NOT TARGET VantrelNotchApp)
  return()
endif()

include(GNUInstallDirs)

if(APPLE)
  include(cmake/MacBundle.cmake)
  return()
endif()

if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
  return()
endif()

set(NOTCH_LIBEXEC_DIR "lib/vantrel-dozer")
set(NOTCH_APP_ID "local.vantrel.notch")

install(TARGETS VantrelNotch VantrelNotchApp RUNTIME DESTINATION ${NOTCH_LIBEXEC_DIR})
install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK \"../${NOTCH_LIBEXEC_DIR}/VantrelNotch\"
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/VantrelNotch\" SYMBOLIC)
")

# Desktop integration: the launcher entry, AppStream metadata, icons.
install(FILES packaging/${NOTCH_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(packaging/${NOTCH_APP_ID}.metainfo.xml ${CMAKE_BINARY_DIR}/packaging/${NOTCH_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${NOTCH_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(brand ${PROJECT_SOURCE_DIR}/src/ui/icons/BrandAvatar.svg)
set(icons)
foreach(size 16 24 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}/${NOTCH_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}
    COMMAND icon-render ${brand} ${size} ${png}
    DEPENDS icon-render ${brand} VERBATIM)
  list(APPEND icons ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${brand} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${NOTCH_APP_ID}.svg)
install(FILES packaging/vantrel-dozer-symbolic.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/symbolic/apps
        RENAME ${NOTCH_APP_ID}-symbolic.svg)

# The manual page, from the same table of modes as --help.
set(manual ${CMAKE_BINARY_DIR}/packaging/VantrelNotch.1.gz)
add_custom_command(OUTPUT ${manual}
  COMMAND sh -c "\"$<TARGET_FILE:VantrelNotch>\" --help | python3 \"${PROJECT_SOURCE_DIR}/packaging/help-to-man.py\" ${PROJECT_VERSION} | gzip -9n > \"${manual}\""
  DEPENDS VantrelNotch ${PROJECT_SOURCE_DIR}/packaging/help-to-man.py VERBATIM)
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Debian's own documentation files.
set(changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND sh -c "printf 'vantrel-dozer (${PROJECT_VERSION}) unstable; urgency=medium\\n\\n  * The notch app, its settings window and its hooks.\\n\\n -- Vantrel Dozer developers <dozer@vantrel.net>  Mon, 07 Dec 2026 08:00:00 +0000\\n' | gzip -9n > \"${changelog}\""
  VERBATIM)
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrel-dozer RENAME changelog.gz)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vantrel-dozer)
add_custom_target(notch_package_files ALL DEPENDS ${icons} ${manual} ${changelog})

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vantrel-dozer")
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_CONTACT "Vantrel Dozer developers <dozer@vantrel.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "WorkBuddy's permission requests in a notch panel")
set(CPACK_PACKAGE_DESCRIPTION "Vantrel Dozer is a small panel at the top centre of the screen serving
WorkBuddy, an AI-agent desktop app. Its permission requests are allowed,
denied or handed back there; nothing is ever allowed automatically. It also
reminds the user of questions WorkBuddy waits on and of turns that ended in
the background, and installs its hook entries into WorkBuddy's settings
only after confirmation, with a backup first.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the linked libraries: Qt's X11 platform plugin, a CJK font for the
# cards' Chinese, and the accessibility bus for WorkBuddy's own cards.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-noto-cjk | fonts-wqy-microhei, at-spi2-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
