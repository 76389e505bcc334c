# Installs the build into a scratch prefix, then builds and runs one small
# program against it twice: through find_package(kvtape) and through
# pkg-config. Run with cmake -P; the variables come from tests/CMakeLists.txt.
set(expected "Inquiry|2400|Illegal Request (05) : Invalid field in cdb (24 00)\n")
set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect_output what program)
  run("${what}" ${program})
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "${what} printed:\n${out}\ninstead of:\n${expected}")
  endif()
endfunction()

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/kv_rom include/kvtape/scsilib.h include/kvtape/scsi_io.h include/kvtape/common_types.h
             include/kvtape/stlsg.h include/kvtape/ddslib.h include/kvtape/ltolib.h
             include/kvtape/scsi_constants.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# Internal headers stay inside the tree.
if(EXISTS ${prefix}/include/kvtape/scsi_codes.h OR EXISTS ${prefix}/include/kvtape/byte_order.h)
  message(FATAL_ERROR "an internal header was installed")
endif()

# Only the interface is exported: version texts and the LTO library's own
# state stay private to it.
execute_process(COMMAND ${NM} --defined-only ${prefix}/${LIBDIR}/libkvtape.a OUTPUT_VARIABLE symbols
                ERROR_QUIET)
if(NOT symbols MATCHES " [BDR] scsi_open_mode\n")
  message(FATAL_ERROR "cannot read the installed library's symbols with ${NM}")
endif()
foreach(name revID ptdriverID lto_drive_gen)
  if(symbols MATCHES " [A-Z] ${name}\n")
    message(FATAL_ERROR "the installed library exports ${name}")
  endif()
endforeach()

set(flags "")
if(SANITIZE)
  set(flags "-fsanitize=address,undefined")
endif()

run("configure the consumer" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/consumer -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_CXX_FLAGS=${flags})
run("build the consumer" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
expect_output("the find_package program" ${WORK_DIR}/consumer/consumer)

find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "${pc_dirs}")
run("pkg-config" ${PKG_CONFIG} --cflags --libs kvtape)
separate_arguments(pc_flags UNIX_COMMAND "${out}")
run("build with pkg-config" ${CXX} -std=c++17 ${flags} ${SOURCE_DIR}/consumer/main.cpp ${pc_flags}
    -o ${WORK_DIR}/pc_consumer)
expect_output("the pkg-config program" ${WORK_DIR}/pc_consumer)
