# One place for the language standard and warnings; every target links it.
add_library(ostrivane_config INTERFACE)
target_compile_features(ostrivane_config INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(ostrivane_config INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic>
  $<$<AND:$<CXX_COMPILER_ID:GNU,Clang>,$<BOOL:${OSTRIVANE_WERROR}>>:-Werror>
  $<$<CXX_COMPILER_ID:MSVC>:/W4>)
target_compile_definitions(ostrivane_config INTERFACE
  OSTRIVANE_VERSION="${PROJECT_VERSION}")

# Qt's safety macros, for the window only.
add_library(ostrivane_qt_config INTERFACE)
target_link_libraries(ostrivane_qt_config INTERFACE ostrivane_config)
target_compile_definitions(ostrivane_qt_config INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CONTEXTLESS_CONNECT QT_NO_KEYWORDS)

# AddressSanitizer + UndefinedBehaviorSanitizer over everything, tests included.
option(OSTRIVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(OSTRIVANE_SANITIZE)
  set(OSTRIVANE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
                                -fno-omit-frame-pointer)
  target_compile_options(ostrivane_config INTERFACE ${OSTRIVANE_SANITIZER_FLAGS})
  target_link_options(ostrivane_config INTERFACE ${OSTRIVANE_SANITIZER_FLAGS})
endif()

# Hardening for the builds we ship and run: stack protector, fortified libc
# calls (they need optimisation: only in the optimised configurations),
# read-only relocations bound at start-up, and position-independent
# executables. Left out under the
# sanitizers, and where the packager supplies the flags (debian/rules turns
# this off: dpkg-buildflags brings the same).
option(OSTRIVANE_HARDEN "Build with the compiler's and linker's hardening flags" ON)
if(OSTRIVANE_HARDEN AND NOT OSTRIVANE_SANITIZE AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang"
   AND NOT WIN32 AND NOT APPLE)
  include(CheckPIESupported)
  check_pie_supported()
  target_compile_options(ostrivane_config INTERFACE
    -fstack-protector-strong
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2>)
  target_link_options(ostrivane_config INTERFACE -Wl,-z,relro -Wl,-z,now)
endif()
