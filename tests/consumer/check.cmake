# Installs the build tree into a fresh prefix, then builds the consumer
# against it through find_package and through pkg-config, runs both and
# compares what they print with the built-in line's figures.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} OUTPUT_QUIET
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()

set(expected "0.241937293 0.00106832454 0.243005617
0x1.d68805eb8c128p-3 0x0p+0 0x1.d68805eb8c128p-3
slope 95 degrees: must lie strictly between -90 and 90 degrees
")

execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -DCMAKE_PREFIX_PATH=${prefix}
                        -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "find_package(egm_shielding) against the installed tree failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the consumer did not build against the installed package")
endif()
execute_process(COMMAND ${WORK_DIR}/build/consumer OUTPUT_VARIABLE printed RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT printed STREQUAL expected)
  message(FATAL_ERROR "consumer (CMake package) printed:\n${printed}\nexpected:\n${expected}")
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
  list(JOIN pc_dirs ":" pc_path)
  set(ENV{PKG_CONFIG_PATH} ${pc_path})
  execute_process(COMMAND ${PKG_CONFIG} --cflags --libs egm_shielding OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know egm_shielding")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  execute_process(COMMAND ${CXX} ${SOURCE_DIR}/main.cpp ${flags} -o ${WORK_DIR}/consumer-pc RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the consumer did not build with pkg-config's flags: ${flags}")
  endif()
  execute_process(COMMAND ${WORK_DIR}/consumer-pc OUTPUT_VARIABLE printed RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT printed STREQUAL expected)
    message(FATAL_ERROR "consumer (pkg-config) printed:\n${printed}\nexpected:\n${expected}")
  endif()
endif()
