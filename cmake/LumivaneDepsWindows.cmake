# Dependencies of the Windows cross-build (cmake/mingw-w64-x86_64.cmake): the libraries
# scripts/install-windows-deps cross-built from Debian sources, Debian's header-only packages
# linked into the same prefix, and the system libraries of mingw-w64. The targets carry the
# names the Linux build uses, so component CMake files need no platform branch for them.
if(NOT LUMIVANE_WINDOWS_PREFIX OR NOT EXISTS ${LUMIVANE_WINDOWS_PREFIX}/include/boost)
  message(FATAL_ERROR "LUMIVANE_WINDOWS_PREFIX must name the folder scripts/install-windows-deps made "
                      "(scripts/build-windows passes it)")
endif()
set(lv_prefix ${LUMIVANE_WINDOWS_PREFIX})

find_package(Threads REQUIRED)

# The Windows 10 API, no min/max macros, and the whole program linked statically, so that
# the executables need no DLL of the toolchain.
add_compile_definitions(_WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX WIN32_LEAN_AND_MEAN
                        FMT_HEADER_ONLY _USE_MATH_DEFINES)
include_directories(SYSTEM ${lv_prefix}/include)
add_link_options(-static)

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
# Debian's spdlog config names an external fmt: both header-only here.
add_library(fmt::fmt INTERFACE IMPORTED)
add_library(spdlog::spdlog INTERFACE IMPORTED)
target_link_libraries(spdlog::spdlog INTERFACE fmt::fmt Threads::Threads)

add_library(lv_asio INTERFACE)
target_link_libraries(lv_asio INTERFACE Threads::Threads ws2_32 mswsock)
target_compile_definitions(lv_asio INTERFACE BOOST_ASIO_NO_DEPRECATED)
target_compile_options(lv_asio INTERFACE -include utility)

function(lv_static_library name file)
  find_library(${name}_LIBRARY NAMES ${file} PATHS ${lv_prefix}/lib NO_DEFAULT_PATH REQUIRED)
  add_library(${name} INTERFACE)
  target_link_libraries(${name} INTERFACE ${${name}_LIBRARY} ${ARGN})
endfunction()

lv_static_library(lv_opus libopus.a)
target_include_directories(lv_opus SYSTEM INTERFACE ${lv_prefix}/include/opus)
lv_static_library(lv_x264 libx264.a)
lv_static_library(lv_yuv libyuv.a)
# The core and its Win32 + Direct3D 11 back ends.
lv_static_library(lv_imgui libimgui.a d3d11 d3dcompiler dxgi imm32 dwmapi)
target_include_directories(lv_imgui SYSTEM INTERFACE ${lv_prefix}/include/imgui)

# stb_image is a header of Debian's libstb-dev; its implementation is compiled here.
file(WRITE ${CMAKE_BINARY_DIR}/lv_stb_image.c "#define STB_IMAGE_IMPLEMENTATION\n#include <stb_image.h>\n")
add_library(lv_stb_image STATIC ${CMAKE_BINARY_DIR}/lv_stb_image.c)
target_include_directories(lv_stb_image SYSTEM PUBLIC ${lv_prefix}/include/stb)
target_compile_options(lv_stb_image PRIVATE -w)

if(LUMIVANE_BUILD_TESTS)
  set(GTEST_ROOT ${lv_prefix})
  find_package(GTest REQUIRED)
endif()
