# The third-party libraries, each found once and exposed as one target.
#
# The hook path must start as fast as /bin/true, so PCRE2 and libcrypto come
# from static archives: no extra shared objects for the dynamic loader.

find_package(nlohmann_json 3.10 REQUIRED)

find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2_PC REQUIRED libpcre2-8)
find_library(PCRE2_STATIC_LIBRARY
  NAMES libpcre2-8.a
  HINTS ${PCRE2_PC_LIBRARY_DIRS}
  REQUIRED)
add_library(notch_pcre2 INTERFACE)
target_include_directories(notch_pcre2 SYSTEM INTERFACE ${PCRE2_PC_INCLUDE_DIRS})
target_compile_definitions(notch_pcre2 INTERFACE PCRE2_CODE_UNIT_WIDTH=8 PCRE2_STATIC)
target_link_libraries(notch_pcre2 INTERFACE ${PCRE2_STATIC_LIBRARY})

find_package(Threads REQUIRED)

if(NOT APPLE)
  set(OPENSSL_USE_STATIC_LIBS TRUE)
  find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
endif()

# The app image and its platform layer. The hook modes link none of these.
if(NOTCH_BUILD_APP)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Svg Test)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    pkg_check_modules(NOTCH_XCB REQUIRED IMPORTED_TARGET xcb xcb-ewmh xcb-xinput)
    pkg_check_modules(NOTCH_DBUS REQUIRED IMPORTED_TARGET dbus-1)
  endif()
endif()
