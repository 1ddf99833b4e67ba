# The release a user downloads: build/win/release/<product>-<version>/ and the .zip of
# that folder beside it, holding exactly the files below, all taken from bin/.
#   cmake --build build/win --target release
# The folder comes from `cmake --install`, the zip from CPack; both read the one list.
set(PV_RELEASE_NAME "${PV_PRODUCT_NAME}-${PV_VERSION_TEXT}")
set(PV_RELEASE_FILES pelboSetup.exe pelbo.exe pelbo.hlp pelbo.cnt pelbo.txt Lazerase.exe unlha32.dll)
set(PV_RELEASE_DIR ${CMAKE_BINARY_DIR}/release)
# The release needs only the shipped files (the release target depends on them), not
# every test program that `all` would build first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(pv_release_paths "")
foreach(f IN LISTS PV_RELEASE_FILES)
  list(APPEND pv_release_paths ${CMAKE_BINARY_DIR}/bin/${f})
endforeach()
install(FILES ${pv_release_paths} DESTINATION . COMPONENT release)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PV_PRODUCT_NAME})
set(CPACK_PACKAGE_VENDOR ${PV_MAKER_NAME})
set(CPACK_PACKAGE_VERSION ${PV_VERSION_TEXT})
set(CPACK_PACKAGE_FILE_NAME ${PV_RELEASE_NAME})
set(CPACK_PACKAGE_DIRECTORY ${PV_RELEASE_DIR})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL release)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
include(CPack)

add_custom_target(release
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PV_RELEASE_DIR}/${PV_RELEASE_NAME} ${PV_RELEASE_DIR}/${PV_RELEASE_NAME}.zip
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component release
          --prefix ${PV_RELEASE_DIR}/${PV_RELEASE_NAME}
  COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${PV_RELEASE_DIR}/_CPack_Packages
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Release ${PV_RELEASE_NAME}: folder and zip in ${PV_RELEASE_DIR}"
  VERBATIM)
# Whatever builds the shipped files runs first (pelbo_help makes the help files and
# the notice).
foreach(t pelbo pelboSetup Lazerase unlha32 pelbo_help)
  if(TARGET ${t})
    add_dependencies(release ${t})
  endif()
endforeach()
