# Compile settings every Quill target shares: strict warnings, Qt's string
# safety switches and, in the test build, the sanitizers.
# Warnings stop the build only with QUILL_WERROR (scripts/deps.sh's
# quill_build turns it on), so a plain build with another compiler or
# compiler version still finishes.
add_library(quill_build_flags INTERFACE)
target_compile_options(quill_build_flags INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Wnon-virtual-dtor)
if(QUILL_WERROR)
  target_compile_options(quill_build_flags INTERFACE -Werror)
endif()
target_compile_definitions(quill_build_flags INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CONTEXTLESS_CONNECT
  QT_NO_URL_CAST_FROM_STRING QT_USE_QSTRINGBUILDER
  QUILL_VERSION="${PROJECT_VERSION}"
  QUILL_VERSION_SHORT="${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
if(QUILL_SANITIZE)
  target_compile_options(quill_build_flags INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quill_build_flags INTERFACE -fsanitize=address,undefined)
endif()
if(QUILL_FUZZ)
  # Coverage for libFuzzer in every library the targets link.
  target_compile_options(quill_build_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()

# quill_library(name SOURCES...): a static library of Quill's logic and windows.
function(quill_library name)
  add_library(${name} STATIC ${ARGN})
  target_link_libraries(${name} PUBLIC quill_build_flags)
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()
