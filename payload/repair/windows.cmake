# Windows side of the repair program: the Win32 backend of its seam and Mendrel.exe, a static
# console program at <build>/payload/repair/Mendrel.exe (where scripts/stage-payload takes it).
#
# Only KnownDLLs are imported statically (kernel32, user32, advapi32, shell32, ole32, oleaut32,
# msvcrt): the program runs in a folder its user can write to, and the loader takes those from
# the system directory whatever lies beside the program. winhttp.dll and msi.dll are loaded at run
# time from the system directory (platform/repair_platform_win32.cpp).

add_library(repair_win32 STATIC ${CMAKE_CURRENT_SOURCE_DIR}/platform/repair_platform_win32.cpp)
target_include_directories(repair_win32 PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(repair_win32 PUBLIC advapi32 shell32 ole32 oleaut32 uuid)

# The manifest says the program knows about elevation: without it a 32-bit program started
# unelevated would have its writes to protected folders and keys silently redirected into the
# user's virtual store, and a repair that did nothing would look done.
set(repair_manifest ${CMAKE_CURRENT_BINARY_DIR}/Mendrel.exe.manifest)
file(WRITE ${repair_manifest}
"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>
<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">
  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">
    <security><requestedPrivileges>
      <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>
    </requestedPrivileges></security>
  </trustInfo>
  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">
    <application>
      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>
      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>
      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>
      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>
    </application>
  </compatibility>
</assembly>
")
set(repair_rc ${CMAKE_CURRENT_BINARY_DIR}/mendrel_manifest.rc)
file(WRITE ${repair_rc} "1 24 \"${repair_manifest}\"\n")

add_executable(Mendrel ${CMAKE_CURRENT_SOURCE_DIR}/main_win32.cpp ${repair_rc})
set_source_files_properties(${repair_rc} PROPERTIES OBJECT_DEPENDS ${repair_manifest})
set_target_properties(Mendrel PROPERTIES
  OUTPUT_NAME Mendrel
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
target_link_options(Mendrel PRIVATE -municode -mconsole -static $<$<CONFIG:MinSizeRel,Release>:-s>)
target_link_libraries(Mendrel PRIVATE repair_core repair_win32)
