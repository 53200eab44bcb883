# Installs the static libraries, the public headers under include/aurelix/<layer>/, a CMake
# package (find_package(Aurelix) -> Aurelix::aurelix) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS aurelix_platform aurelix EXPORT AurelixTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/aurelix ${PROJECT_BINARY_DIR}/src/generated/aurelix
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")

set(AURELIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Aurelix)
install(EXPORT AurelixTargets NAMESPACE Aurelix:: DESTINATION ${AURELIX_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/AurelixConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/AurelixConfig.cmake
                              INSTALL_DESTINATION ${AURELIX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/AurelixConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/AurelixConfig.cmake ${PROJECT_BINARY_DIR}/AurelixConfigVersion.cmake
        DESTINATION ${AURELIX_CMAKE_DIR})

set(AURELIX_PC_REQUIRES "")
if(AURELIX_ALSA_ENABLED)
  set(AURELIX_PC_REQUIRES "alsa")
endif()
# Relative to the .pc file, so that an install moved with --prefix still finds itself.
file(RELATIVE_PATH AURELIX_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/aurelix.pc.in ${PROJECT_BINARY_DIR}/aurelix.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/aurelix.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
