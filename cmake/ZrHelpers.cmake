# Shared build helpers.

set(ZR_WARNING_FLAGS -Wall -Wextra)
if(ZR_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ZR_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  # Coverage for the fuzzer in every library; the fuzz targets add libFuzzer's own main.
  set(ZR_SANITIZE ON)
  set(ZR_SANITIZE_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -g)
elseif(ZR_SANITIZE)
  set(ZR_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
else()
  set(ZR_SANITIZE_FLAGS "")
endif()

function(zr_apply_flags target)
  target_compile_options(${target} PRIVATE ${ZR_WARNING_FLAGS} ${ZR_SANITIZE_FLAGS})
  if(ZR_SANITIZE)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
endfunction()

# zr_add_library(<target> [DEPS <libs...>])
# Builds every .cpp/.h/.qrc of the calling folder into one static library.
# Files ending in _win.cpp build only on Windows, files ending in _posix.cpp everywhere else.
function(zr_add_library target)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB zr_sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  if(WIN32)
    list(FILTER zr_sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER zr_sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  add_library(${target} STATIC ${zr_sources})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  zr_apply_flags(${target})
endfunction()

# zr_add_tests_in_folder([LIBS <libs...>])
# Every tst_*.cpp of the calling folder becomes one QtTest executable registered with CTest.
# A test file states its labels in a line "//! labels: unit gui" and may add libraries with
# "//! libs: zr_media". Label "qml" runs on the xcb platform (Xvfb), every other on offscreen.
function(zr_add_tests_in_folder)
  cmake_parse_arguments(ARG "" "TIMEOUT" "LIBS" ${ARGN})
  file(GLOB zr_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(src ${zr_tests})
    get_filename_component(name ${src} NAME_WE)
    file(STRINGS ${src} label_line REGEX "^//! labels:")
    file(STRINGS ${src} libs_line REGEX "^//! libs:")
    string(REGEX REPLACE "^//! labels:[ ]*" "" labels "${label_line}")
    string(REGEX REPLACE "^//! libs:[ ]*" "" extra_libs "${libs_line}")
    separate_arguments(labels)
    separate_arguments(extra_libs)
    if(NOT labels)
      set(labels unit)
    endif()
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE zr_testsupport ${ARG_LIBS} ${extra_libs} Qt6::Test)
    zr_apply_flags(${name})
    if(TARGET zr-make-export)
      add_dependencies(${name} zr-make-export)
    endif()
    set(platform offscreen)
    set(cmd $<TARGET_FILE:${name}>)
    if("qml" IN_LIST labels)
      set(platform xcb)
      set(cmd ${PROJECT_SOURCE_DIR}/tests/run-with-display.sh $<TARGET_FILE:${name}>)
    endif()
    add_test(NAME ${name} COMMAND ${cmd})
    set(timeout 300)
    if(ARG_TIMEOUT)
      set(timeout ${ARG_TIMEOUT})
    endif()
    set_tests_properties(${name} PROPERTIES
      LABELS "${labels}"
      TIMEOUT ${timeout}
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
      ENVIRONMENT "QT_QPA_PLATFORM=${platform};ZR_TOOLS_DIR=${PROJECT_BINARY_DIR}/tools;ZR_SOURCE_DIR=${PROJECT_SOURCE_DIR};QT_QUICK_BACKEND=rhi;ASAN_OPTIONS=detect_leaks=0:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endforeach()
endfunction()

# zr_add_bench(<name> <sources...> LIBS <libs...>)
function(zr_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE zr_benchsupport ${ARG_LIBS})
  zr_apply_flags(${name})
endfunction()
