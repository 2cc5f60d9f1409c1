# Cross-building for 32-bit ARM (armhf) with Debian's g++-arm-linux-gnueabihf and the armhf
# libraries of Debian's multiarch (libgtest-dev:armhf, libncurses-dev:armhf, libssl-dev:armhf,
# libidn2-dev:armhf):
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/armhf.cmake
# Programs the build runs (the resource compiler) and the tests run through qemu-arm; they
# find the armhf libraries (libstdc++6:armhf included) in the multiarch folders.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QB_ARM_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${QB_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QB_ARM_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${QB_ARM_TRIPLET})
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)
# pkg-config (which FindOpenSSL asks first) answers with the armhf libraries.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${QB_ARM_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
