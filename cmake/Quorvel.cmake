# quorvel_library(name [FILES base...] [EXCLUDE base...] DEPS lib...): a static library from
# every .cpp/.h in the current folder, or only from the FILES named (base names: "Dialogs" takes
# Dialogs.cpp and Dialogs.h), less those EXCLUDEd. A folder holding a windowless core and its
# widgets builds them as two libraries, so the core cannot include a widget header.
function(quorvel_library name)
  cmake_parse_arguments(Q "" "" "DEPS;FILES;EXCLUDE" ${ARGN})
  if(Q_FILES)
    set(sources "")
    foreach(base ${Q_FILES})
      file(GLOB found ${CMAKE_CURRENT_SOURCE_DIR}/${base}.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${base}.h)
      if(NOT found)
        message(FATAL_ERROR "${name}: no ${base}.cpp or ${base}.h")
      endif()
      list(APPEND sources ${found})
    endforeach()
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
                                        ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  endif()
  foreach(base ${Q_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${base}.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${base}.h)
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${Q_DEPS})
endfunction()

# quorvel_tests(DEPS lib...): one Qt Test executable per tst_*.cpp in the current folder,
# registered with ctest and run on the offscreen platform.
function(quorvel_tests)
  cmake_parse_arguments(Q "" "LABEL" "DEPS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(src ${tests})
    get_filename_component(base ${src} NAME_WE)
    add_executable(${base} ${src})
    target_link_libraries(${base} PRIVATE ${Q_DEPS} Qt6::Test)
    set_target_properties(${base} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${base} COMMAND ${base})
    set(env "QT_QPA_PLATFORM=offscreen" "QUORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
            "QUORVEL_REGISTRY=${CMAKE_BINARY_DIR}/bin/registry.ini" ${QUORVEL_TEST_ENV})
    set_tests_properties(${base} PROPERTIES
      ENVIRONMENT "${env}"
      TIMEOUT 600
      LABELS "${Q_LABEL}")
  endforeach()
endfunction()

# quorvel_bench(name DEPS lib...): a benchmark executable from name.cpp (never run by ctest).
function(quorvel_bench name)
  cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE ${Q_DEPS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# Sanitizer and fuzzing builds. QUORVEL_SANITIZE builds everything (program and tests) with
# AddressSanitizer and UndefinedBehaviorSanitizer; ctest then runs with leak detection on.
# QUORVEL_FUZZ (clang only) adds libFuzzer instrumentation and the fuzz_<name> executables.
option(QUORVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUORVEL_FUZZ "Build the libFuzzer targets (needs clang); implies QUORVEL_SANITIZE" OFF)
option(QUORVEL_HEADER_CHECK "Compile every header of src/ on its own" ON)
set(QUORVEL_TEST_ENV "")
if(QUORVEL_SANITIZE OR QUORVEL_FUZZ)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  set(QUORVEL_TEST_ENV
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
    "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/sanitize/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()
if(QUORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "QUORVEL_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# quorvel_fuzz_targets(DEPS lib...): for every fuzz_<name>.cpp in the current folder, the
# replay executable fuzzreplay_<name>, registered with ctest as fuzz_<name> over
# corpus/<name> and regressions/<name>; with QUORVEL_FUZZ also the libFuzzer executable
# fuzz_<name>. A line "// Links: lib..." in the source names the libraries it needs
# (fewer to build before a fuzzer can start); without one it links DEPS.
function(quorvel_fuzz_targets)
  cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
  file(GLOB targets CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_*.cpp)
  foreach(src ${targets})
    get_filename_component(base ${src} NAME_WE)
    string(REGEX REPLACE "^fuzz_" "" name ${base})
    file(STRINGS ${src} links REGEX "^// Links: " LIMIT_COUNT 1)
    if(links)
      string(REGEX REPLACE "^// Links: +" "" links "${links}")
      separate_arguments(links)
    else()
      set(links ${Q_DEPS})
    endif()
    add_executable(fuzzreplay_${name} ${src} ${CMAKE_CURRENT_SOURCE_DIR}/support/ReplayMain.cpp)
    target_link_libraries(fuzzreplay_${name} PRIVATE quorvel_fuzzsupport ${links})
    set_target_properties(fuzzreplay_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz AUTOMOC OFF)
    add_test(NAME ${base} COMMAND fuzzreplay_${name}
             ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name} ${CMAKE_CURRENT_SOURCE_DIR}/regressions/${name})
    set_tests_properties(${base} PROPERTIES ENVIRONMENT "${QUORVEL_TEST_ENV}" TIMEOUT 600 LABELS fuzz)
    if(QUORVEL_FUZZ)
      add_executable(${base} ${src})
      target_link_libraries(${base} PRIVATE quorvel_fuzzsupport ${links})
      target_link_options(${base} PRIVATE -fsanitize=fuzzer)
      set_target_properties(${base} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz AUTOMOC OFF)
    endif()
  endforeach()
endfunction()

# quorvel_header_check(DEPS lib...): one generated source per header of src/ that includes
# only that header, so a header that needs an include it does not make fails the build.
function(quorvel_header_check)
  cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
  if(NOT QUORVEL_HEADER_CHECK)
    return()
  endif()
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.h)
  set(checks "")
  foreach(h ${headers})
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/src ${h})
    string(MAKE_C_IDENTIFIER ${rel} id)
    set(out ${CMAKE_BINARY_DIR}/header_check/${id}.cpp)
    file(CONFIGURE OUTPUT ${out} CONTENT "#include \"${rel}\"\n")
    list(APPEND checks ${out})
  endforeach()
  add_library(quorvel_header_check OBJECT ${checks})
  set_target_properties(quorvel_header_check PROPERTIES AUTOMOC OFF)
  target_link_libraries(quorvel_header_check PRIVATE ${Q_DEPS})
endfunction()
