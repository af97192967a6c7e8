# Every subsystem folder is one static library made of the sources it holds,
# so a new unit needs no build edit: drop the file in and re-run CMake.
# A subsystem whose modules live in folders of their own (the 3D engine)
# names them in SUBDIRS; their sources join the one library.
function(ember_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;SUBDIRS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  foreach(sub ${ARG_SUBDIRS})
    file(GLOB sub_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${sub}/*.c)
    list(APPEND srcs ${sub_srcs})
  endforeach()
  # A program's entry point never goes into a library.
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  if(NOT srcs)
    # A folder still being written: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# One test program per test folder. Files named *_gl_test.cpp need a window
# or GL context: they go into a second program labelled "gl" that CTest runs
# under xvfb-run.
function(ember_tests name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "DEPS" ${ARGN})
  # A folder whose tests could wait for events gives each test a limit.
  set(timeout_props)
  if(ARG_TIMEOUT)
    set(timeout_props TIMEOUT ${ARG_TIMEOUT})
  endif()
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB gl CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_gl_test.cpp)
  set(plain ${all})
  if(gl)
    list(REMOVE_ITEM plain ${gl})
  endif()
  if(plain)
    add_executable(${name}_tests ${plain})
    target_link_libraries(${name}_tests PRIVATE ${ARG_DEPS} test_support GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name}_tests
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      # Discovered tests take one value per property, so the environment
      # holds a single variable; the binary folder comes from the build.
      PROPERTIES ${timeout_props}
      ENVIRONMENT "EMBER_FIXTURES=${PROJECT_SOURCE_DIR}/tests/fixtures"
      DISCOVERY_TIMEOUT 60)
  endif()
  if(gl)
    add_executable(${name}_gl_tests ${gl})
    target_link_libraries(${name}_gl_tests PRIVATE ${ARG_DEPS} test_support GTest::gtest_main GTest::gmock)
    if(EMBER_SANITIZE)
      # Libraries stay loaded, so the leak check can name the driver's own
      # blocks (see the file).
      target_sources(${name}_gl_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/keep_libraries.cpp)
      target_link_options(${name}_gl_tests PRIVATE -Wl,--export-dynamic-symbol=dlclose)
    endif()
    add_test(NAME ${name}_gl_tests
      COMMAND xvfb-run -a -s "-screen 0 1024x768x24" $<TARGET_FILE:${name}_gl_tests>
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    # Leaks are checked as in every other program; the suppressions name
    # only the driver's and X's own allocations. No session bus: SDL would
    # have D-Bus try to start one, which leaks when there is no desktop.
    set(gl_env "EMBER_FIXTURES=${PROJECT_SOURCE_DIR}/tests/fixtures" "EMBER_BIN=${PROJECT_BINARY_DIR}"
      "LIBGL_ALWAYS_SOFTWARE=1" "DBUS_SESSION_BUS_ADDRESS=disabled:"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
    set_tests_properties(${name}_gl_tests PROPERTIES LABELS gl
      ENVIRONMENT "${gl_env}" ${timeout_props})
  endif()
endfunction()
