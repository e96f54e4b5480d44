# quorvel_library(name DEPS lib...): a static library from every .cpp/.h in the current folder.
function(quorvel_library name)
  cmake_parse_arguments(Q "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
                                      ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
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
    set_tests_properties(${base} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORVEL_SOURCE_DIR=${CMAKE_SOURCE_DIR};QUORVEL_REGISTRY=${CMAKE_BINARY_DIR}/bin/registry.ini"
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

option(QUORVEL_HEADER_CHECK "Compile every header of src/ on its own" ON)

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
