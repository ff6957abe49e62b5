# Installation: the three libraries, their public headers, a CMake package
# (find_package(ServicesFramework) gives ServicesFramework::servicesframework and friends) and a
# pkg-config file, so that hosts and plug-ins build against an installed framework.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(SF_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ServicesFramework)

# Installed libraries find each other beside themselves, and so do the built ones, which share
# build/<preset>/lib: with a build path and an install path, the built libraries' search path
# ended in an empty entry, which the dynamic loader takes for the current directory.
set_target_properties(servicesframework zamlogger KORCoreUtils PROPERTIES
    INSTALL_RPATH "$ORIGIN"
    BUILD_WITH_INSTALL_RPATH ON
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR})

install(TARGETS servicesframework zamlogger KORCoreUtils servicesconsole
    EXPORT ServicesFrameworkTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(DIRECTORY
        ${PROJECT_SOURCE_DIR}/services/servicesframework/include/
        ${PROJECT_SOURCE_DIR}/services/servicesconsole/include/
        ${PROJECT_SOURCE_DIR}/platform/zamlogger/include/
        ${PROJECT_SOURCE_DIR}/platform/korcoreutils/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
    FILES_MATCHING PATTERN "*.h")

install(EXPORT ServicesFrameworkTargets
    NAMESPACE ServicesFramework::
    DESTINATION ${SF_INSTALL_CMAKEDIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ServicesFrameworkConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/ServicesFrameworkConfig.cmake
    INSTALL_DESTINATION ${SF_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ServicesFrameworkConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES
        ${CMAKE_CURRENT_BINARY_DIR}/ServicesFrameworkConfig.cmake
        ${CMAKE_CURRENT_BINARY_DIR}/ServicesFrameworkConfigVersion.cmake
    DESTINATION ${SF_INSTALL_CMAKEDIR})

# The prefix is found from the .pc file's own place, so the installation can be moved.
file(RELATIVE_PATH SF_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/servicesframework.pc.in
    ${CMAKE_CURRENT_BINARY_DIR}/servicesframework.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/servicesframework.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
