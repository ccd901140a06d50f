# Installs the core (math, scene, render, view, export) as the library libtrellis: the archive, the
# public headers under include/trellis/, a CMake package (find_package(Trellis) gives
# Trellis::core) and a pkg-config file (trellis.pc). Included from src/CMakeLists.txt
# right after trellis_core is defined.
#
# Callers include the headers as <trellis/scene/loader.h>; the headers include each other
# as "scene/records.h", so both include/ and include/trellis/ are on the include path of
# everything that links Trellis::core or uses trellis.pc.
include(CMakePackageConfigHelpers)

set(TRELLIS_INCLUDE_SUBDIR trellis)
set_target_properties(trellis_core PROPERTIES
    OUTPUT_NAME trellis
    EXPORT_NAME core
    POSITION_INDEPENDENT_CODE ON)
target_compile_features(trellis_core PUBLIC cxx_std_20)
target_include_directories(trellis_core PUBLIC
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/${TRELLIS_INCLUDE_SUBDIR}>)

# The headers a caller needs to load a scene, read its records and render a frame, as the
# target's header set: installed with it, below include/trellis/ by their path under src/.
# Headers that only the core's own sources include stay out.
file(GLOB TRELLIS_PUBLIC_HEADERS CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/math/*.h
    ${PROJECT_SOURCE_DIR}/src/scene/*.h
    ${PROJECT_SOURCE_DIR}/src/render/*.h
    ${PROJECT_SOURCE_DIR}/src/view/*.h
    ${PROJECT_SOURCE_DIR}/src/export/*.h)
list(FILTER TRELLIS_PUBLIC_HEADERS EXCLUDE REGEX "_internal\\.h$")
list(FILTER TRELLIS_PUBLIC_HEADERS EXCLUDE REGEX "/(scene/address_sanitizer|render/line_stepper|export/json_writer)\\.h$")
target_sources(trellis_core PUBLIC FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR}/src
               FILES ${TRELLIS_PUBLIC_HEADERS})

install(TARGETS trellis_core EXPORT TrellisTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${TRELLIS_INCLUDE_SUBDIR})
# A stripping install (the package, `cmake --install --strip`) takes the debug information
# out of the archive too; its symbols stay, so it still links.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-debug --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:trellis_core>\")
endif()")
set(TRELLIS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Trellis)
install(EXPORT TrellisTargets NAMESPACE Trellis:: DESTINATION ${TRELLIS_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TrellisConfig.cmake.in
    ${PROJECT_BINARY_DIR}/TrellisConfig.cmake INSTALL_DESTINATION ${TRELLIS_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TrellisConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TrellisConfig.cmake
              ${PROJECT_BINARY_DIR}/TrellisConfigVersion.cmake
        DESTINATION ${TRELLIS_CMAKE_DIR})

# trellis.pc finds its prefix from its own place, so the tree can be installed anywhere
# (a package root, a scratch prefix) without rewriting it.
set(TRELLIS_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH TRELLIS_PC_TO_PREFIX /prefix/${TRELLIS_PC_DIR} /prefix)
string(REGEX REPLACE "/$" "" TRELLIS_PC_TO_PREFIX "${TRELLIS_PC_TO_PREFIX}")
# The renderer's thread pool needs the threads library when it is built in.
if(TRELLIS_THREADS)
    set(TRELLIS_PC_THREADS "-pthread")
else()
    set(TRELLIS_PC_THREADS "")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/trellis.pc.in ${PROJECT_BINARY_DIR}/trellis.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/trellis.pc DESTINATION ${TRELLIS_PC_DIR})
