# The Windows backend of the platform layer (included from host/CMakeLists.txt).
add_library(zorvik_platform STATIC
  platform/windows/app_install.cpp
  platform/windows/c_file.cpp
  platform/windows/desktop.cpp
  platform/windows/environment.cpp
  platform/windows/files.cpp
  platform/windows/job_pages.cpp
  platform/windows/library.cpp
  platform/windows/os_info.cpp
  platform/windows/paths.cpp
  platform/windows/printers_winspool.cpp
  platform/windows/process.cpp
  platform/windows/single_instance.cpp
  platform/windows/thread.cpp
  platform/windows/unicode.cpp
  platform/windows/win32.cpp
)
target_include_directories(zorvik_platform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
# Windows 10 is the oldest system the product runs on.
target_compile_definitions(zorvik_platform PUBLIC _WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE _UNICODE
                                                  NOMINMAX WIN32_LEAN_AND_MEAN)
target_link_libraries(zorvik_platform PUBLIC nlohmann_json::nlohmann_json
                      PRIVATE PkgConfig::QPDF winspool gdi32 shell32 ole32 ws2_32 advapi32 user32)
# The page decoder uses qpdf, which builds as C++17 here as in the fitting code.
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/platform/windows/job_pages.cpp PROPERTIES
  COMPILE_OPTIONS "-std=c++17")
