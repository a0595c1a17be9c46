# Builds the icon library from the pixel grids in resources/icons: grids to
# .ico, .ico to a resource object, the object to a resource-only DLL padded
# to its fixed size, and that DLL to the C++ array the program embeds.
# Both builds make it the same way, with the MinGW binutils, so the host
# tests deploy the very bytes that Windows gets.
find_program(PIVANE_WINDRES i686-w64-mingw32-windres REQUIRED)
find_program(PIVANE_LD i686-w64-mingw32-ld REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(PIVANE_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resources)
file(MAKE_DIRECTORY ${PIVANE_RESOURCE_DIR})
set(PIVANE_ICON_GRIDS ${CMAKE_SOURCE_DIR}/resources/icons)
set(PIVANE_MAKE_ICON ${CMAKE_SOURCE_DIR}/scripts/make-icon.py)

function(pivane_icon output)
  set(grids ${ARGN})
  list(TRANSFORM grids PREPEND ${PIVANE_ICON_GRIDS}/)
  add_custom_command(
    OUTPUT ${PIVANE_RESOURCE_DIR}/${output}
    COMMAND ${Python3_EXECUTABLE} ${PIVANE_MAKE_ICON} ${PIVANE_RESOURCE_DIR}/${output} ${grids}
    DEPENDS ${PIVANE_MAKE_ICON} ${grids}
    VERBATIM)
endfunction()

# Compiles resources/NAME.rc, whose files are looked up among the
# generated ones and then beside it, into a COFF object.
function(pivane_resource_object name)
  add_custom_command(
    OUTPUT ${PIVANE_RESOURCE_DIR}/${name}.res.o
    COMMAND ${PIVANE_WINDRES} --target=pe-i386 -I ${PIVANE_RESOURCE_DIR}
            -I ${CMAKE_SOURCE_DIR}/resources -i ${CMAKE_SOURCE_DIR}/resources/${name}.rc
            -O coff -o ${PIVANE_RESOURCE_DIR}/${name}.res.o
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/${name}.rc ${ARGN}
    VERBATIM)
endfunction()

pivane_icon(ActiveFolder.ico ActiveFolder16.txt ActiveFolder32.txt)
pivane_icon(MainIcon.ico MainIcon32.txt)
pivane_resource_object(IconLibrary ${PIVANE_RESOURCE_DIR}/ActiveFolder.ico)
pivane_resource_object(Pivane ${PIVANE_RESOURCE_DIR}/MainIcon.ico
  ${CMAKE_SOURCE_DIR}/resources/Pivane.manifest)

# No entry point, no code, no timestamp: the same bytes on every build.
add_custom_command(
  OUTPUT ${PIVANE_RESOURCE_DIR}/IconLibrary.linked.dll
  COMMAND ${PIVANE_LD} -m i386pe -shared --no-insert-timestamp -e 0 -s
          ${PIVANE_RESOURCE_DIR}/IconLibrary.res.o -o ${PIVANE_RESOURCE_DIR}/IconLibrary.linked.dll
  DEPENDS ${PIVANE_RESOURCE_DIR}/IconLibrary.res.o
  VERBATIM)

set(PIVANE_ICON_LIBRARY ${PIVANE_RESOURCE_DIR}/pivane.dll)
set(PIVANE_ICON_LIBRARY_SOURCE ${PIVANE_RESOURCE_DIR}/IconLibraryImage.cpp)
add_custom_command(
  OUTPUT ${PIVANE_ICON_LIBRARY} ${PIVANE_ICON_LIBRARY_SOURCE}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/embed-library.py
          ${PIVANE_RESOURCE_DIR}/IconLibrary.linked.dll 5120 ${PIVANE_ICON_LIBRARY}
          ${PIVANE_ICON_LIBRARY_SOURCE}
  DEPENDS ${PIVANE_RESOURCE_DIR}/IconLibrary.linked.dll ${CMAKE_SOURCE_DIR}/scripts/embed-library.py
  VERBATIM)
