# One layer = one folder = one library target. Every *.cpp in the folder is a
# source of the library except *_test.cpp; each of those is a test executable
# of its own, named after its file, so one unit's tests build alone. Public
# headers live in <layer>/include, internal headers in the folder itself, and
# test support shared by the layer's tests in <layer>/testing. Programs go in
# subfolders of their own.
#
#   tessaly_layer(NAME <target> [DEPS <libs...>] [TEST_DEPS <libs...>]
#                 [TEST_ENV <VAR=value...>])
function(tessaly_layer)
  cmake_parse_arguments(L "" "NAME" "DEPS;TEST_DEPS;TEST_ENV" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")

  if(sources)
    add_library(${L_NAME} STATIC ${sources})
    target_include_directories(${L_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                         PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${L_NAME} PUBLIC ${L_DEPS})
  else()
    add_library(${L_NAME} INTERFACE)
    target_include_directories(${L_NAME} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${L_NAME} INTERFACE ${L_DEPS})
  endif()

  # Shared test support (fixtures, a loopback server, ...) lives in testing/.
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/testing/*.cpp)
  set(support_lib)
  if(support)
    add_library(${L_NAME}_testing STATIC ${support})
    target_include_directories(${L_NAME}_testing PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/testing)
    target_link_libraries(${L_NAME}_testing PUBLIC ${L_NAME} ${L_TEST_DEPS} GTest::gtest)
    set(support_lib ${L_NAME}_testing)
  endif()

  foreach(test ${tests})
    get_filename_component(stem ${test} NAME_WE)
    tessaly_add_test(${stem} SOURCES ${test} LIBS ${L_NAME} ${support_lib} ${L_TEST_DEPS} ENV ${L_TEST_ENV})
  endforeach()
endfunction()

# A GoogleTest executable registered with CTest. Tests find their data through
# TESSALY_SOURCE_DIR and never depend on the working directory.
function(tessaly_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    TESSALY_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TESSALY_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # The test environment rides in front of the test as an `env` launcher:
  # discovery and every run see it, and lists survive (the ENVIRONMENT
  # property loses all but its first entry on the way through discovery).
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
    "env;QT_QPA_PLATFORM=offscreen;${T_ENV}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
endfunction()
