# quill_test(NAME <name>
#            [SOURCES <files...>]       default: <name>.cpp
#            [LIBS <libraries...>]      besides Qt6::Test and quill_build_flags
#            [LABELS <labels...>]
#            [TIMEOUT <seconds>]        default: 120
#            [SERIAL]                   runs alone (RUN_SERIAL)
#            [DEPENDS <targets...>]     programs the test starts, built first
#            [DEFINITIONS <defines...>] compile definitions of the test alone
#            [INCLUDES <folders...>])   include folders besides the test's own
#                                       folder and tests/support
#
# One Qt Test executable, run by CTest offscreen with a configuration folder
# and an owner-only runtime folder of its own, so no test ever touches the
# user's real settings, and without a session bus (a test that needs one
# starts its own). QUILL_BIN_DIR tells tests where the programs are.
set(QUILL_TEST_SUPPORT_DIR "${PROJECT_SOURCE_DIR}/tests/support")

function(quill_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "SERIAL" "NAME;TIMEOUT"
    "SOURCES;LIBS;LABELS;DEPENDS;DEFINITIONS;INCLUDES")
  if(NOT arg_NAME)
    message(FATAL_ERROR "quill_test: NAME is required")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quill_test(${arg_NAME}): unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  set(name ${arg_NAME})
  if(NOT arg_SOURCES)
    set(arg_SOURCES ${name}.cpp)
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()

  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} Qt6::Test quill_build_flags)
  target_include_directories(${name} PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR} ${QUILL_TEST_SUPPORT_DIR} ${arg_INCLUDES})
  if(arg_DEFINITIONS)
    target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
  endif()
  if(arg_DEPENDS)
    add_dependencies(${name} ${arg_DEPENDS})
  endif()

  add_test(NAME ${name} COMMAND ${name})
  set(config "${CMAKE_CURRENT_BINARY_DIR}/config/${name}")
  set(runtime "${CMAKE_CURRENT_BINARY_DIR}/runtime/${name}")
  set(data "${CMAKE_CURRENT_BINARY_DIR}/data/${name}")
  file(MAKE_DIRECTORY "${runtime}")
  file(CHMOD "${runtime}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${arg_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANGUAGE=en;XDG_CONFIG_HOME=${config};XDG_RUNTIME_DIR=${runtime};XDG_DATA_HOME=${data};QUILL_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};DBUS_SESSION_BUS_ADDRESS=;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1")
  if(arg_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${arg_LABELS}")
  endif()
  if(arg_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# quill_test_again(NAME <name> TEST <test> [ARGS <arguments...>]
#                  [ENVIRONMENT <variable=value...>])
#
# The executable of an earlier quill_test once more, with arguments (the test
# functions to run, say) and environment variables of its own, in folders of
# its own.
function(quill_test_again)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;TEST" "ARGS;ENVIRONMENT")
  add_test(NAME ${arg_NAME} COMMAND ${arg_TEST} ${arg_ARGS})
  get_test_property(${arg_TEST} ENVIRONMENT environment)
  get_test_property(${arg_TEST} TIMEOUT timeout)
  string(REPLACE "/${arg_TEST};" "/${arg_NAME};" environment "${environment}")
  set(runtime "${CMAKE_CURRENT_BINARY_DIR}/runtime/${arg_NAME}")
  file(MAKE_DIRECTORY "${runtime}")
  file(CHMOD "${runtime}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${timeout}
    ENVIRONMENT "${environment};${arg_ENVIRONMENT}")
endfunction()
