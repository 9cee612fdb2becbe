# Where an installed TAVREN puts its files, in the GNU layout. The libraries
# the program loads by name live in a folder of the program's own, which its
# RUNPATH names relative to bin/: the installed tree works under any prefix,
# and a folder on LD_LIBRARY_PATH still comes first.
include(GNUInstallDirs)
set(TAVREN_INSTALL_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/tavren)
# The libgphoto2 camera library has the same file name as the simulated one,
# so it gets a folder of its own, put first on LD_LIBRARY_PATH by its launcher.
set(TAVREN_INSTALL_GPHOTO2_LIBDIR ${TAVREN_INSTALL_PRIVATE_LIBDIR}/gphoto2)
file(RELATIVE_PATH TAVREN_BIN_TO_PRIVATE_LIBDIR
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/tavren)
file(RELATIVE_PATH TAVREN_BIN_TO_GPHOTO2_LIBDIR
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR}/tavren/gphoto2)
