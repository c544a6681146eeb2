# kv_add_test(<name> SOURCES <files...> [ENVIRONMENT <k=v>...] [WORKING_DIRECTORY <dir>])
# Builds one GoogleTest executable against the static library and registers it
# with CTest as a single test.
function(kv_add_test name)
  if(NOT KV_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "WORKING_DIRECTORY;OUTPUT_DIRECTORY" "SOURCES;ENVIRONMENT;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kvstore_internal kv_warnings GTest::gtest GTest::gtest_main ${T_LIBS})
  if(T_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${T_OUTPUT_DIRECTORY})
  endif()
  if(NOT T_WORKING_DIRECTORY)
    set(T_WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  endif()
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS} WORKING_DIRECTORY ${T_WORKING_DIRECTORY})
  # The message library is found on the search path unless a test says
  # otherwise (a later entry of the same variable wins).
  set(env "KV_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "KV_BINARY_DIR=${CMAKE_BINARY_DIR}"
      "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/lib" ${T_ENVIRONMENT})
  add_dependencies(${name} kvres14)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
endfunction()
