# 32-bit x86 build on a 64-bit machine; tests run under qemu-i386 because
# the machine's kernel may not run 32-bit programs itself.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# The kernel headers of the i386 cross package stand in for the 32-bit
# asm/ headers that multilib does not bring.
set(CMAKE_C_FLAGS_INIT "-m32 -idirafter /usr/i686-linux-gnu/include")
set(CMAKE_CXX_FLAGS_INIT "-m32 -idirafter /usr/i686-linux-gnu/include")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
