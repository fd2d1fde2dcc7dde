# SPDX-License-Identifier: GPL-3.0-or-later
# One static library per folder: every .cpp directly in the folder is part of
# it but those left to another library of the folder (EXCEPT); every
# tests/*_test.cpp becomes its own GoogleTest executable.
#   mv_library(NAME [EXCEPT <files...>] DEPS <targets...> [TEST_DEPS <targets...>])
function(mv_library name)
  cmake_parse_arguments(MV "" "" "EXCEPT;DEPS;TEST_DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(f ${MV_EXCEPT})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${f})
  endforeach()
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${MV_DEPS})
  else()
    # Folder not written yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${MV_DEPS})
  endif()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.cpp)
  if(NOT MAROVANE_TESTS)
    set(tests)
  endif()
  foreach(test ${tests})
    get_filename_component(base ${test} NAME_WE)
    set(exe ${name}_${base})
    add_executable(${exe} ${test})
    target_link_libraries(${exe} PRIVATE ${name} ${MV_TEST_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
    target_compile_definitions(${exe} PRIVATE
      MV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" MV_BINARY_DIR="${PROJECT_BINARY_DIR}")
    # Tests of code on threads of its own carry a label: scripts/test runs
    # them again under ThreadSanitizer.
    set(props ENVIRONMENT "SDL_VIDEODRIVER=dummy;SDL_AUDIODRIVER=dummy")
    if(exe IN_LIST MV_THREADED_TESTS)
      set(props LABELS threaded ${props})
    endif()
    gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  endforeach()
endfunction()
