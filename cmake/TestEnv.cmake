# tw_add_gtest(NAME sources... LIBS libs...)
# A GoogleTest executable registered with CTest; it runs through
# scripts/isolated-env.sh, which gives it a temporary HOME and XDG folders.
function(tw_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/isolated-env.sh $<TARGET_FILE:${name}>)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "unit;${ARG_LABELS}")
endfunction()

# The end-to-end suites' environment: where the programs are, and Chinese as
# the messages' language, whose words the suites check (the pages follow it).
# LANGUAGE, not LANG: a locale the machine lacks would leave the tools in C.
set(TW_NODE_TEST_ENV "TW_BUILD_DIR=${CMAKE_BINARY_DIR};TW_SOURCE_DIR=${CMAKE_SOURCE_DIR};LANGUAGE=zh_CN")

# tw_add_node_test(NAME FILE [TIMEOUT s] [LABELS ...] [LOCKS ...])
# A Node test-runner file that drives real programs under Xvfb over the
# DevTools protocol (helpers in tests/node/lib). Runs isolated like the unit
# tests; TW_BUILD_DIR and TW_SOURCE_DIR tell it where the programs are.
function(tw_add_node_test name file)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LABELS;LOCKS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/isolated-env.sh
                   ${CMAKE_SOURCE_DIR}/scripts/with-xvfb.sh node --test --test-concurrency=1 ${file}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/node)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "e2e;${ARG_LABELS}"
    ENVIRONMENT "${TW_NODE_TEST_ENV}")
  # Tests whose programs look for one another among all processes hold a
  # common lock, so they never see each other's.
  if(ARG_LOCKS)
    set_property(TEST ${name} PROPERTY RESOURCE_LOCK ${ARG_LOCKS})
  endif()
endfunction()
