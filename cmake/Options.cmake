# The compile and link options every program and library of ours is built
# with, as one interface target: svplatform passes it on to everything built
# on it, and the stand-alone programs (demo, stubs) link it themselves.
add_library(sv_options INTERFACE)
target_compile_definitions(sv_options INTERFACE UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601
  ZIP_STATIC)
target_compile_options(sv_options INTERFACE -Wall -Wextra -Wshadow -Wconversion
  -Wnon-virtual-dtor $<$<BOOL:${SV_WERROR}>:-Werror>
  # Two builds of one commit give the same bytes: no build folder in any
  # string (__FILE__ of an assertion).
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=
  # Each function and datum in a section of its own, so that the link keeps
  # only what is reached: the programs stay small enough for a CD's wizard.
  -ffunction-sections -fdata-sections)
target_include_directories(sv_options INTERFACE ${CMAKE_SOURCE_DIR})
# The wizard starts from a bare CD: no runtime DLLs beside it; and no link
# time in the image.
target_link_options(sv_options INTERFACE -static -static-libgcc -static-libstdc++
  -Wl,--no-insert-timestamp -Wl,--gc-sections)
