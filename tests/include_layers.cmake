cmake_minimum_required(VERSION 3.20)
# Fails unless the library's includes run one way: include/ <- support/ <-
# core/ <- r2004/ <- r13/, and core/ <- r12/, and core/ <- dxf/, all <-
# front/. A folder may include its own files, the public header and the
# folders below it; the R12 reader and the R13 reader include neither each
# other nor the other's containers. The DXF reader renders texts and reads
# the properties record's groups with the R13 reader's code for them, and
# includes nothing else of it. libdwgtext (capi/) reads with the library's own reader: it
# includes nothing of our hosts (host/).
set(allowed_support "support")
set(allowed_core "support;core")
set(allowed_r2004 "support;core;r2004")
set(allowed_r13 "support;core;r2004;r13")
set(allowed_r12 "support;core;r12")
set(allowed_dxf "support;core;dxf")
set(allowed_files_dxf "r13/textcodes.h;r13/propertiesrecord.h")
set(allowed_front "support;core;r2004;r13;r12;dxf;front")
set(allowed_capi "support;core;r2004;r13;r12;dxf;front")

set(violations "")
foreach(layer IN ITEMS support core r2004 r13 r12 dxf front capi)
  file(GLOB files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  list(FILTER files EXCLUDE REGEX "_test\\.cpp$")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" target "${line}")
      if(target MATCHES "^(host_|tqhost)" OR EXISTS "${SOURCE_DIR}/host/${target}")
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
        list(APPEND violations "${shown}: ${target}")
      endif()
      if(target STREQUAL "TQDUDADE.h" OR NOT target MATCHES "/" OR target IN_LIST allowed_files_${layer})
        continue()
      endif()
      string(REGEX REPLACE "/.*" "" folder "${target}")
      if(NOT folder IN_LIST allowed_${layer})
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
        list(APPEND violations "${shown}: ${target}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(violations)
  string(REPLACE ";" "\n  " listed "${violations}")
  message(FATAL_ERROR "includes against the layers:\n  ${listed}")
endif()
