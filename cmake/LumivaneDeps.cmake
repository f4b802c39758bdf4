# Every third-party dependency is a Debian package. Libraries both platforms use are given
# platform-neutral names (lv_opus, lv_x264, lv_yuv, lv_imgui, lv_stb_image, lv_asio), which
# cmake/LumivaneDepsWindows.cmake defines for the Windows cross-build.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(Boost 1.74 REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(fmt REQUIRED)
find_package(spdlog REQUIRED)

pkg_check_modules(OPUS REQUIRED IMPORTED_TARGET opus)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xext xcomposite xdamage xfixes xtst xrandr)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(X264 REQUIRED IMPORTED_TARGET x264)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
pkg_check_modules(AVCODEC REQUIRED IMPORTED_TARGET libavcodec libavutil libswscale)
pkg_check_modules(GLFW REQUIRED IMPORTED_TARGET glfw3)
# Dear ImGui 1.86: the core as Debian's static library (its pkg-config pulls in stb).
pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
find_package(OpenGL REQUIRED)

add_library(lv_opus INTERFACE)
target_link_libraries(lv_opus INTERFACE PkgConfig::OPUS)
add_library(lv_x264 INTERFACE)
target_link_libraries(lv_x264 INTERFACE PkgConfig::X264)
add_library(lv_imgui INTERFACE)
target_link_libraries(lv_imgui INTERFACE PkgConfig::IMGUI)
# Debian's libstb holds stb_image's implementation; imgui's pkg-config brings its headers.
add_library(lv_stb_image INTERFACE)
target_link_libraries(lv_stb_image INTERFACE PkgConfig::IMGUI)

# libyuv ships a static library and headers but no pkg-config file.
find_library(YUV_LIBRARY NAMES libyuv.a yuv REQUIRED)
find_path(YUV_INCLUDE_DIR libyuv.h REQUIRED)
add_library(lv_yuv INTERFACE)
target_link_libraries(lv_yuv INTERFACE ${YUV_LIBRARY} jpeg)
target_include_directories(lv_yuv SYSTEM INTERFACE ${YUV_INCLUDE_DIR})

# Boost 1.74's Asio needs <utility> before it under C++20 with GCC 12.
add_library(lv_asio INTERFACE)
target_link_libraries(lv_asio INTERFACE Boost::headers Threads::Threads)
target_compile_definitions(lv_asio INTERFACE BOOST_ASIO_NO_DEPRECATED)
target_compile_options(lv_asio INTERFACE -include utility)

if(LUMIVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
