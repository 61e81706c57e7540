# IDL to a type library and a C/C++ header with widl. Our IDL files import the stand-in
# oaidl.idl of resources/idl (mingw-w64 ships headers, not IDL) and take IUnknown,
# IDispatch and IPictureDisp from Wine's stdole2.tlb.
find_program(TAGSY_WIDL x86_64-w64-mingw32-widl REQUIRED)
find_file(TAGSY_STDOLE2_TLB stdole2.tlb
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
get_filename_component(TAGSY_STDOLE2_DIR ${TAGSY_STDOLE2_TLB} DIRECTORY)
set(TAGSY_IDL_DIR ${CMAKE_SOURCE_DIR}/resources/idl)

# tagsy_widl(<idl> <tlb out> <header out>)
function(tagsy_widl idl tlb header)
  set(flags --win64 -I ${TAGSY_IDL_DIR} -L ${TAGSY_STDOLE2_DIR})
  get_filename_component(name ${idl} NAME)
  add_custom_command(
    OUTPUT ${tlb} ${header}
    COMMAND ${TAGSY_WIDL} ${flags} -t -o ${tlb} ${idl}
    COMMAND ${TAGSY_WIDL} ${flags} -h -o ${header} ${idl}
    DEPENDS ${idl} ${TAGSY_IDL_DIR}/oaidl.idl
    COMMENT "Compiling ${name}"
    VERBATIM)
endfunction()
