# The Windows programs as an installer (NSIS) and a .zip: quilvex.exe and
# its console twin quilvex-cli.exe, the
# sample identity data file beside it, README; a Start-menu shortcut that
# starts the program in its own folder, so it finds the data file there;
# an uninstaller.
install(TARGETS quilvex quilvex-cli RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/quilvex.dat DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QX_WINDOWS_ARCH win64)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  # A 64-bit installer for the 64-bit program: it runs wherever the program does.
  set(CPACK_NSIS_EXECUTABLE ${CMAKE_CURRENT_SOURCE_DIR}/makensis-amd64.sh)
else()
  set(QX_WINDOWS_ARCH win32)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
endif()

set(CPACK_GENERATOR NSIS ZIP)
# The NSIS lines below reach the installer script exactly as written.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Quilvex)
set(CPACK_PACKAGE_VENDOR Quilvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flash memory upgrade utility for external telephone modems")
set(CPACK_PACKAGE_FILE_NAME Quilvex-${PROJECT_VERSION}-${QX_WINDOWS_ARCH})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quilvex)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Quilvex)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/windows-notice.txt)
set(CPACK_NSIS_DISPLAY_NAME Quilvex)
set(CPACK_NSIS_PACKAGE_NAME Quilvex)
set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/res/icons/128.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/res/icons/128.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME quilvex.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The shortcut's working folder is the folder current when it is made.
set(CPACK_NSIS_CREATE_ICONS_EXTRA [=[
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Quilvex.lnk" "$INSTDIR\quilvex.exe"
]=])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [=[
  Delete "$SMPROGRAMS\$MUI_TEMP\Quilvex.lnk"
]=])
# The installer is Quilvex-<version>-<arch>-setup.exe, the archive has no suffix.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_SOURCE_DIR}/windows-cpack.cmake)
include(CPack)
