# kv_add_test(<name> [STRESS] SOURCES <files...> [ENVIRONMENT <k=v>...] [WORKING_DIRECTORY <dir>])
# Builds one GoogleTest executable against the static library and registers it
# with CTest as a single test. A STRESS test is built with KV_BUILD_STRESS as
# well (the tsan preset builds nothing else).
function(kv_add_test name)
  cmake_parse_arguments(T "STRESS" "WORKING_DIRECTORY;OUTPUT_DIRECTORY" "SOURCES;ENVIRONMENT;LIBS;ARGS" ${ARGN})
  if(NOT KV_BUILD_TESTS AND NOT (T_STRESS AND KV_BUILD_STRESS))
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE kvstore_internal kv_warnings GTest::gtest GTest::gtest_main ${T_LIBS})
  if(T_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${T_OUTPUT_DIRECTORY})
  endif()
  if(NOT T_WORKING_DIRECTORY)
    set(T_WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  endif()
  # ThreadSanitizer of Clang 14 needs the address layout of a process without
  # address-space randomisation on kernels that randomise more bits than it
  # expects; setarch -R gives it that.
  set(launcher "")
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread")
    find_program(KV_SETARCH setarch)
    if(KV_SETARCH)
      set(launcher ${KV_SETARCH} ${CMAKE_SYSTEM_PROCESSOR} -R)
    endif()
  endif()
  add_test(NAME ${name} COMMAND ${launcher} $<TARGET_FILE:${name}> ${T_ARGS}
           WORKING_DIRECTORY ${T_WORKING_DIRECTORY})
  # The message library is found on the search path unless a test says
  # otherwise (a later entry of the same variable wins).
  set(env "KV_SOURCE_DIR=${CMAKE_SOURCE_DIR}" "KV_BINARY_DIR=${CMAKE_BINARY_DIR}"
      "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/lib" ${T_ENVIRONMENT})
  add_dependencies(${name} kvres14)
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
endfunction()
