# Helpers shared by every folder of the project.

# trevalune_sources(<var> <dirs>)
# Every .cpp and .h beside the calling CMakeLists.txt, or with <dirs> of those
# folders (relative to the calling folder's parent).
function(trevalune_sources var dirs)
  set(patterns)
  if(dirs)
    get_filename_component(parent ${CMAKE_CURRENT_SOURCE_DIR} DIRECTORY)
    foreach(dir ${dirs})
      list(APPEND patterns ${parent}/${dir}/*.cpp ${parent}/${dir}/*.h)
    endforeach()
  else()
    set(patterns ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  endif()
  file(GLOB found CONFIGURE_DEPENDS ${patterns})
  set(${var} ${found} PARENT_SCOPE)
endfunction()

# Precompiled headers: most of a translation unit's time goes on parsing Qt,
# GoogleTest and the controller's header, which nearly every file of a
# library or test program includes. Each target parses its list once.
option(TREVALUNE_PCH "Precompile the headers most files include" ON)

# trevalune_precompile(<target> <headers...>): project headers by their full
# path, <angled> ones as they are.
function(trevalune_precompile target)
  if(TREVALUNE_PCH)
    target_precompile_headers(${target} PRIVATE ${ARGN})
  endif()
endfunction()

# The standard and Qt headers the libraries share.
set(TREVALUNE_COMMON_HEADERS <algorithm> <array> <atomic> <cmath> <cstdint> <functional> <memory>
    <mutex> <optional> <string> <vector> <QString> <QStringList> <QList> <QVariant> <QUrl>)
set(TREVALUNE_WIDGET_HEADERS <QWidget> <QPainter> <QImage> <QColor> <QLabel> <QPushButton> <QMenu>
    <QFileInfo> <QDir> <QTimer>)

# trevalune_library(<target> [DIRS <folders...>] [DEPS <targets...>] [PCH <headers...>])
# One library per source folder: every .cpp and .h beside the calling
# CMakeLists.txt. With DIRS, every .cpp and .h of those folders (relative to
# the calling folder's parent) instead: a folder that does not exist yet
# adds nothing, and one that is created joins the library at the next build.
# PCH names headers to precompile beside the standard ones.
function(trevalune_library target)
  cmake_parse_arguments(ARG "" "" "DIRS;DEPS;PCH" ${ARGN})
  trevalune_sources(sources "${ARG_DIRS}")
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  trevalune_precompile(${target} ${TREVALUNE_COMMON_HEADERS} ${ARG_PCH})
endfunction()

# trevalune_test(<target> [DIRS <folders...>] [DEPS <targets...>] [PCH <headers...>] [JACK])
# One GoogleTest program per test folder (or, with DIRS, over those folders
# as trevalune_library takes them). Every test runs on the offscreen Qt
# platform with a home folder of its own under the build tree; JACK tests also
# get the dummy JACK server that the test set-up starts. GoogleTest, Qt Test
# and PCH's headers are precompiled.
function(trevalune_test target)
  cmake_parse_arguments(ARG "JACK" "" "DIRS;DEPS;PCH" ${ARGN})
  trevalune_sources(sources "${ARG_DIRS}")
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE test_support ${ARG_DEPS})
  trevalune_precompile(${target} ${TREVALUNE_COMMON_HEADERS} <gtest/gtest.h> <QTest> <QCoreApplication>
                       ${PROJECT_SOURCE_DIR}/tests/support/TestSupport.h ${ARG_PCH})
  # A test's own code drives the application and checks what it made; the
  # sound is made by the libraries, built as the application is. Optimising
  # the large test bodies fully, with full debugging information, took half
  # of their compile time: line tables still give a failure's place.
  target_compile_options(${target} PRIVATE -O1 -g1)
  set(home ${CMAKE_BINARY_DIR}/test-home/${target})
  set(env "QT_QPA_PLATFORM=offscreen" "HOME=${home}" "XDG_CONFIG_HOME=${home}/.config"
          "XDG_DATA_HOME=${home}/.local/share" "XDG_RUNTIME_DIR=${home}/run"
          "TREVALUNE_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
          "TREVALUNE_BUILD_DIR=${CMAKE_BINARY_DIR}")
  if(SANITIZE)
    # A finding stops the test and fails it; leaks are checked, less the
    # libraries' own listed in the suppression file.
    list(APPEND env
         "ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
         "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1"
         "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/sanitizer-leaks.supp:print_suppressions=0")
  endif()
  set(props TIMEOUT 600)
  if(ARG_JACK)
    list(APPEND env "JACK_DEFAULT_SERVER=${TREVALUNE_JACK_SERVER}" "JACK_NO_AUDIO_RESERVATION=1"
                    "JACK_NO_START_SERVER=1")
    list(APPEND props FIXTURES_REQUIRED jack)
  endif()
  # The environment goes in front of the command (for discovery and for every
  # test): a list-valued ENVIRONMENT does not survive gtest_discover_tests's
  # PROPERTIES, which flattens it into the property list.
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "/usr/bin/env;${env}")
  # Listing the tests starts the program: on a small, busy machine that takes
  # longer than the module's default of five seconds.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
endfunction()

# trevalune_bench(<target> [DEPS <targets...>])
function(trevalune_bench target)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
  target_link_libraries(${target} PRIVATE benchmark::benchmark ${ARG_DEPS})
endfunction()
