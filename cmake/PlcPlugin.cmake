# add_plc_plugin(<Name> CORE_SOURCES <files...> [LIBS <targets...>])
#
# Builds two targets:
#   <Name>_core   static, position independent library with the driver and link
#                 classes; tests and fuzz targets link it to reach the protocol code.
#   Lib<Name>     the plug-in itself, libLib<Name>.so.1 (libLib<Name>-qt6.so.1 in a
#                 Qt 6 build: PLC_NAME_SUFFIX), made of ExportRTUDLL.cpp and
#                 <Name>_core. Only getSharedLibrary is exported; everything else,
#                 the shared frame included, stays hidden.
function(add_plc_plugin name)
  cmake_parse_arguments(P "" "" "CORE_SOURCES;LIBS" ${ARGN})
  add_library(${name}_core STATIC ${P_CORE_SOURCES})
  target_include_directories(${name}_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_core PUBLIC plcframe ${P_LIBS})
  set_target_properties(${name}_core PROPERTIES
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

  add_library(Lib${name} SHARED ${CMAKE_CURRENT_SOURCE_DIR}/ExportRTUDLL.cpp)
  target_link_libraries(Lib${name} PRIVATE ${name}_core)
  set_target_properties(Lib${name} PROPERTIES
    OUTPUT_NAME Lib${name}${PLC_NAME_SUFFIX}
    VERSION 1.0.0 SOVERSION 1
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_options(Lib${name} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  install(TARGETS Lib${name} LIBRARY DESTINATION ${PLC_PLUGIN_INSTALL_DIR})
endfunction()
