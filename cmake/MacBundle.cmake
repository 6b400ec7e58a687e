# The macOS bundle "Vantrel Dozer.app": both images in Contents/MacOS, an
# accessory app (LSUIElement) with the bundle identifier the preferences
# and the single-instance check use, and the menu-bar and brand images as
# bundle resources. Built and tested by a macOS developer; on Linux this
# file is not read.

set(NOTCH_BUNDLE_NAME "Vantrel Dozer")
set_target_properties(VantrelNotchApp PROPERTIES
  MACOSX_BUNDLE ON
  OUTPUT_NAME "VantrelNotchApp"
  MACOSX_BUNDLE_BUNDLE_NAME "${NOTCH_BUNDLE_NAME}"
  MACOSX_BUNDLE_GUI_IDENTIFIER "local.vantrel.notch"
  MACOSX_BUNDLE_BUNDLE_VERSION "${PROJECT_VERSION}"
  MACOSX_BUNDLE_SHORT_VERSION_STRING "${PROJECT_VERSION}"
  MACOSX_BUNDLE_INFO_PLIST "${PROJECT_SOURCE_DIR}/packaging/macos/Info.plist.in")

# The menu-bar template and the brand avatar, as the app looks them up.
set(resources
  "${PROJECT_SOURCE_DIR}/src/ui/icons/MenuBarTemplate.svg"
  "${PROJECT_SOURCE_DIR}/src/ui/icons/BrandAvatar.svg")
target_sources(VantrelNotchApp PRIVATE ${resources})
set_source_files_properties(${resources} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)

# VantrelNotch (the hook image) beside the app image in Contents/MacOS.
add_custom_command(TARGET VantrelNotchApp POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:VantrelNotch>" "$<TARGET_FILE_DIR:VantrelNotchApp>/VantrelNotch"
  VERBATIM)
install(TARGETS VantrelNotchApp BUNDLE DESTINATION .)

set(CPACK_GENERATOR "DragNDrop")
set(CPACK_PACKAGE_NAME "${NOTCH_BUNDLE_NAME}")
set(CPACK_DMG_VOLUME_NAME "${NOTCH_BUNDLE_NAME}")
set(CPACK_PACKAGE_FILE_NAME "VantrelDozer-${PROJECT_VERSION}")
include(CPack)
