# The page's module: the engine and the report layer for WebAssembly, with
# clang 19 for wasm32-wasi against Debian's wasi-libc and wasm32 libc++:
#   cmake --preset web && cmake --build --preset web    (build-web/quorvex.html)
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})

set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# Only the WebAssembly C and C++ libraries' headers, never the host's. The
# module runs without exceptions: memory that runs out ends it.
set(CMAKE_CXX_FLAGS_INIT
    "-fno-exceptions -nostdlibinc -isystem /usr/include/wasm32-wasi/c++/v1 -idirafter /usr/include/wasm32-wasi")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

set(CMAKE_FIND_ROOT_PATH /usr/lib/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
