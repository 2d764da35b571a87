# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows packages of a build with Qt: one flat folder holding
# kyr-tuner.exe, kyr.exe, the Qt DLLs and the plugins they load (platform,
# style, print support), the compiler's runtime DLLs, the demo tune, a README
# and the license texts. `cpack -G ZIP` makes the portable ZIP of it and
# `cpack -G NSIS` the installer (Start-menu entry, uninstaller, the license
# shown before installing, .kyr files opening in the program).
if(NOT TARGET kyr-tuner)
  return()
endif()
# Qt's folders and plugin targets, in this directory's scope too.
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport)

install(FILES ${PROJECT_SOURCE_DIR}/data/windows/README.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/THIRD-PARTY.md DESTINATION .)

# The plugins, each in the folder Qt looks for it beside the program.
foreach(_plugin Qt6::QWindowsIntegrationPlugin Qt6::QWindowsVistaStylePlugin)
  if(TARGET ${_plugin})
    get_target_property(_type ${_plugin} QT_PLUGIN_TYPE)
    install(IMPORTED_RUNTIME_ARTIFACTS ${_plugin} LIBRARY DESTINATION ${_type} RUNTIME DESTINATION ${_type})
  endif()
endforeach()
# The print support plugin is not exported as a target by every Qt build.
file(GLOB _print_plugins ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/printsupport/*.dll)
install(FILES ${_print_plugins} DESTINATION printsupport)
if(NOT TARGET Qt6::QWindowsIntegrationPlugin)
  file(GLOB _platform_plugins ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS}/platforms/qwindows.dll)
  install(FILES ${_platform_plugins} DESTINATION platforms)
endif()

if(CMAKE_CROSSCOMPILING)
  # The DLLs the programs and plugins load, found where the compiler and Qt keep
  # them; Windows' own DLLs are left out.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                  OUTPUT_VARIABLE _libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                  OUTPUT_VARIABLE _winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_libstdcxx_dir "${_libstdcxx}" DIRECTORY)
  get_filename_component(_winpthread_dir "${_winpthread}" DIRECTORY)
  # The lookup of Windows DLL names is case-blind and CMake asks for them in
  # lower case: Qt's DLLs are found through lower-case links to them.
  set(_qt_dlls ${CMAKE_BINARY_DIR}/qt-dlls)
  file(MAKE_DIRECTORY ${_qt_dlls})
  file(GLOB _dlls ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}/*.dll)
  foreach(_dll ${_dlls})
    get_filename_component(_name ${_dll} NAME)
    string(TOLOWER ${_name} _name)
    file(CREATE_LINK ${_dll} ${_qt_dlls}/${_name} SYMBOLIC)
  endforeach()
  set(KYR_WINDOWS_DLL_DIRS ${_qt_dlls} ${_libstdcxx_dir} ${_winpthread_dir})
  find_program(KYR_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
  set(_code [[
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "@KYR_OBJDUMP@")
  set(_dest "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  file(GLOB _modules "${_dest}/*/*.dll")
  file(GET_RUNTIME_DEPENDENCIES
       EXECUTABLES "${_dest}/kyr-tuner.exe" "${_dest}/kyr.exe"
       MODULES ${_modules}
       RESOLVED_DEPENDENCIES_VAR _dlls
       UNRESOLVED_DEPENDENCIES_VAR _missing
       DIRECTORIES @KYR_WINDOWS_DLL_DIRS@
       PRE_INCLUDE_REGEXES "^[Qq]t6" "^lib"
       PRE_EXCLUDE_REGEXES ".*")
  if(_missing)
    message(FATAL_ERROR "DLLs not found for the Windows package: ${_missing}")
  endif()
  foreach(_dll ${_dlls})
  file(REAL_PATH "${_dll}" _file) # Qt's own name, not the lower-case link
  file(INSTALL "${_file}" DESTINATION "${_dest}")
  # Without their symbols the DLLs are a fraction of the size.
  get_filename_component(_name "${_file}" NAME)
  execute_process(COMMAND "@CMAKE_STRIP@" --strip-unneeded "${_dest}/${_name}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(_plugin ${_modules})
  execute_process(COMMAND "@CMAKE_STRIP@" --strip-unneeded "${_plugin}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
  ]])
  string(CONFIGURE "${_code}" _code @ONLY)
  install(CODE "${_code}")
else()
  # On Windows itself Qt's own windeployqt gathers the DLLs and plugins.
  find_program(KYR_WINDEPLOYQT windeployqt HINTS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS})
  if(KYR_WINDEPLOYQT)
    install(CODE "execute_process(COMMAND \"${KYR_WINDEPLOYQT}\" --no-translations
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/kyr-tuner.exe\" COMMAND_ERROR_IS_FATAL ANY)")
  endif()
endif()

# The packages.
set(CPACK_PACKAGE_NAME kyr-tuner)
set(CPACK_PACKAGE_VENDOR "KYR Tuner developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tuning program for the KYR engine management unit")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY "KYR Tuner")
set(CPACK_PACKAGE_EXECUTABLES kyr-tuner "KYR Tuner")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP NSIS)
# The ZIP unpacks into a folder of its own (the installer has its own folder).
configure_file(${CMAKE_CURRENT_LIST_DIR}/KyrCPackWindows.cmake.in ${CMAKE_BINARY_DIR}/KyrCPackWindows.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/KyrCPackWindows.cmake)
# The NSIS commands below hold quotes and backslashes: written as they stand.
set(CPACK_VERBATIM_VARIABLES ON)

set(_ico ${PROJECT_SOURCE_DIR}/data/windows/kyr-tuner.ico)
# A 64-bit installer, into the 64-bit Program Files.
# (CPack writes the compressor on a line of its own, before any output.)
set(CPACK_NSIS_COMPRESSOR "lzma\n  Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "KYR Tuner")
set(CPACK_NSIS_DISPLAY_NAME "KYR Tuner ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${_ico})
set(CPACK_NSIS_MUI_UNIICON ${_ico})
set(CPACK_NSIS_INSTALLED_ICON_NAME kyr-tuner.exe)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MUI_FINISHPAGE_RUN kyr-tuner.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# .kyr files open in the program (for all users, as the installer runs as an
# administrator); the uninstaller removes the association again.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  WriteRegStr HKLM "Software\Classes\.kyr" "" "KYRTuner.MapFile"
  WriteRegStr HKLM "Software\Classes\KYRTuner.MapFile" "" "KYR map file"
  WriteRegStr HKLM "Software\Classes\KYRTuner.MapFile\DefaultIcon" "" "$INSTDIR\kyr-tuner.exe,0"
  WriteRegStr HKLM "Software\Classes\KYRTuner.MapFile\shell\open\command" "" '"$INSTDIR\kyr-tuner.exe" --open "%1"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  ReadRegStr $0 HKLM "Software\Classes\.kyr" ""
  StrCmp $0 "KYRTuner.MapFile" 0 +2
  DeleteRegKey HKLM "Software\Classes\.kyr"
  DeleteRegKey HKLM "Software\Classes\KYRTuner.MapFile"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
]=])
include(CPack)
