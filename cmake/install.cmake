# cmake --install: the library with its headers, a CMake package
# (find_package(egm_shielding) gives egm::shielding), a pkg-config file, and
# the programs that were built.
include(CMakePackageConfigHelpers)

set(egm_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/egm_shielding)
install(TARGETS egm_shielding EXPORT egm_shieldingTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/egm DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT egm_shieldingTargets NAMESPACE egm:: DESTINATION ${egm_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/egm_shieldingConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/egm_shieldingConfig.cmake INSTALL_DESTINATION ${egm_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/egm_shieldingConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/egm_shieldingConfig.cmake ${PROJECT_BINARY_DIR}/egm_shieldingConfigVersion.cmake
        DESTINATION ${egm_cmake_dir})
# The pkg-config file finds the prefix from where it lies, so that
# cmake --install --prefix works for it too.
file(RELATIVE_PATH egm_pc_to_prefix /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/egm_shielding.pc.in ${PROJECT_BINARY_DIR}/egm_shielding.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/egm_shielding.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS egm-shielding RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET egm-study)
  install(TARGETS egm-study RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
